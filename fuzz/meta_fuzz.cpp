// The pure decoders on any valid UTF-8: meta_at, emoji_tags_at and header never read outside
// their input, and what they find re-encodes to the bytes they consumed.
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace glyphloom;
  std::string_view text;
  if (!fuzz::as_text(data, size, text)) return 0;
  for (size_t pos = 0; pos < text.size(); pos += utf8::decode(text, pos).length) {
    std::string_view rest = text.substr(pos);
    if (auto found = meta_at(rest)) {
      FUZZ_CHECK(found->length <= rest.size());
      FUZZ_CHECK(found->meta.tags() == rest.substr(0, found->length));
      FUZZ_CHECK(!emoji_tags_at(rest));
    }
    if (auto length = emoji_tags_at(rest)) FUZZ_CHECK(*length <= rest.size());
  }
  if (auto found = header(text)) {
    FUZZ_CHECK(found->length <= text.size());
    if (!found->version.empty()) {  // a slice of the source
      FUZZ_CHECK(found->version.data() >= text.data());
      FUZZ_CHECK(found->version.data() + found->version.size() <= text.data() + text.size());
    }
  }
  return 0;
}
