// convert on any source in the three modes: the result is text or an error, and lenient mode
// never fails with an error of the tag kinds.
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace glyphloom;
  std::string_view source;
  if (!fuzz::as_text(data, size, source)) return 0;
  const Glyphloom& converter = fuzz::default_converter();
  for (WarningMode mode : {WarningMode::Warn, WarningMode::Error, WarningMode::Lenient}) {
    auto result = converter.convert(source, mode);
    if (auto* done = std::get_if<Converted>(&result)) {
      FUZZ_CHECK(utf8::valid(done->text));
      if (mode == WarningMode::Error) FUZZ_CHECK(done->warnings.empty());
      for (const Warning& w : done->warnings) FUZZ_CHECK(w.byte <= source.size());
    } else {
      FUZZ_CHECK(mode != WarningMode::Lenient);
    }
  }
  return 0;
}
