// convert on any source in the three modes. The modes agree with one another: lenient mode never
// fails and, where warn mode succeeds, gives the same text and warnings; error mode fails exactly
// where warn mode fails or warns, with the same error or the first warning.
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace glyphloom;
  std::string_view source;
  if (!fuzz::as_text(data, size, source)) return 0;
  const Glyphloom& converter = fuzz::default_converter();
  auto warned = converter.convert(source, WarningMode::Warn);
  auto strict = converter.convert(source, WarningMode::Error);
  auto lenient = converter.convert(source, WarningMode::Lenient);

  auto* kept = std::get_if<Converted>(&lenient);
  FUZZ_CHECK(kept != nullptr);
  FUZZ_CHECK(utf8::valid(kept->text));
  for (const Warning& w : kept->warnings) FUZZ_CHECK(w.byte <= source.size());

  if (auto* done = std::get_if<Converted>(&warned)) {
    FUZZ_CHECK(utf8::valid(done->text));
    FUZZ_CHECK(done->text == kept->text && done->warnings == kept->warnings);
    if (done->warnings.empty()) {
      auto* clean = std::get_if<Converted>(&strict);
      FUZZ_CHECK(clean != nullptr && clean->text == done->text && clean->warnings.empty());
    } else {
      auto* error = std::get_if<Error>(&strict);
      FUZZ_CHECK(error != nullptr);
      FUZZ_CHECK(*error == Error{Unsupported{done->warnings.front()}});
    }
  } else {
    FUZZ_CHECK(!kept->warnings.empty());
    auto* error = std::get_if<Error>(&strict);
    FUZZ_CHECK(error != nullptr && *error == std::get<Error>(warned));
  }

  // The converted text feeds the run parser and the renderer.
  Styled styled = converter.meta_runs(kept->text);
  for (const MetaRun& run : styled.runs) FUZZ_CHECK(!run_fault(styled.text, run));
  FUZZ_CHECK(utf8::valid(converter.html(styled)));
  return 0;
}
