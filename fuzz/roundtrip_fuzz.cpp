// to_glyphloom then convert: the markup of any text converts (however many effects or attached
// metas follow a character, no tag goes beyond what a tag may hold); on text without TAG
// characters, variation selectors or other effect characters, the text comes back with no
// warnings.
#include "fuzz_support.hpp"

namespace {
bool in_round_trip_domain(const glyphloom::Glyphloom& converter, std::string_view text) {
  using namespace glyphloom;
  for (size_t pos = 0; pos < text.size();) {
    auto [cp, length] = utf8::decode(text, pos);
    std::string ch(text.substr(pos, length));
    if ((cp >= 0xE0000 && cp <= 0xE007F) || (cp >= 0xFE00 && cp <= 0xFE0F) ||
        (cp >= 0xE0100 && cp <= 0xE01EF) || converter.index().entry(Table::Effects, ch)) {
      return false;
    }
    pos += length;
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
  FUZZ_CHECK(std::holds_alternative<Converted>(converter.convert(markup, WarningMode::Warn)));
  auto back = converter.convert(markup, WarningMode::Error);
  if (in_round_trip_domain(converter, text)) {
    auto* done = std::get_if<Converted>(&back);
    FUZZ_CHECK(done != nullptr);
    FUZZ_CHECK(done->text == text);
  }
  return 0;
}
