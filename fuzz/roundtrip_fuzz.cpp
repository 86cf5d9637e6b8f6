// to_glyphloom then convert: the markup of any text converts back to exactly that text. Its only
// findings can be open font metas that name no font of the index, so without them it converts
// back in mode "error" too.
#include "fuzz_support.hpp"

namespace {
bool only_font_findings(const std::vector<glyphloom::Warning>& warnings) {
  for (const auto& warning : warnings) {
    if (warning.message.find(" is no font style of the entities") == std::string::npos) {
      return false;
    }
  }
  return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace glyphloom;
  std::string_view text;
  if (!fuzz::as_text(data, size, text)) return 0;
  const Glyphloom& converter = fuzz::default_converter();
  std::string markup = converter.to_glyphloom(text);
  FUZZ_CHECK(utf8::valid(markup));
  const auto back = converter.convert(markup, WarningMode::Warn);
  const auto* done = std::get_if<Converted>(&back);
  FUZZ_CHECK(done != nullptr);
  FUZZ_CHECK(done->text == text);
  FUZZ_CHECK(only_font_findings(done->warnings));
  return 0;
}
