// The pure decoders on any valid UTF-8: meta_at, emoji_tags_at and header never read outside
// their input, and what they find re-encodes to the bytes they consumed. Metas built from the
// input's words encode to sequences that decode back to them.
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
    // An absent version is an empty view that need not point into the text.
    if (!found->version.empty()) {
      FUZZ_CHECK(found->version.data() >= text.data());
      FUZZ_CHECK(found->version.data() + found->version.size() <= text.data() + found->length);
    }
  }
  // "key value": a meta of each kind over them encodes and decodes back.
  const size_t space = text.find(' ');
  if (space != std::string_view::npos) {
    const std::string key(text.substr(0, space));
    const std::string value(text.substr(space + 1));
    if (is_key(key) && is_value(value)) {
      for (MetaKind kind : {MetaKind::Open, MetaKind::Close, MetaKind::Attached}) {
        const Meta meta{kind, key, kind == MetaKind::Close ? std::string() : value};
        const std::string tags = meta.tags();
        auto back = meta_at(tags);
        FUZZ_CHECK(back && back->meta == meta && back->length == tags.size());
        // The same bytes with the plain text glued on still decode to the meta alone.
        auto glued = meta_at(tags + std::string(text));
        FUZZ_CHECK(glued && glued->meta == meta && glued->length == tags.size());
      }
    }
  }
  return 0;
}
