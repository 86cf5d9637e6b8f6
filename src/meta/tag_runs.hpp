// Where inside a run of TAG characters a meta or an emoji tag sequence can start. Shared by the
// run parser and the conversion back to markup, which both try the recognisers at every
// character of a text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace glyphloom::detail {

inline constexpr size_t kTagBytes = 4;

// The payload character (0x00..0x7F) of the TAG character at `pos`, if one starts there. TAG
// characters are U+E0000..U+E007F: F3 A0 80..81 followed by one continuation byte.
inline std::optional<unsigned> tag_char_at(std::string_view text, size_t pos) noexcept {
  if (pos > text.size() || text.size() - pos < kTagBytes) return std::nullopt;
  const auto* b = reinterpret_cast<const uint8_t*>(text.data()) + pos;
  if (b[0] != 0xF3 || b[1] != 0xA0 || (b[2] & 0xFE) != 0x80 || (b[3] & 0xC0) != 0x80) {
    return std::nullopt;
  }
  return ((b[2] & 1u) << 6) | (b[3] & 0x3Fu);
}

inline bool is_ascii_alnum(unsigned c) noexcept {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Where inside one run of TAG characters a meta or an emoji tag sequence can start.
//
// `meta_at` and `emoji_tags_at` read on to the CANCEL TAG that ends a run, so trying them at
// every character of a long run that decodes to nothing (stray or unknown TAG characters are
// spelled one at a time) would take time quadratic in its length. One scan of the run answers
// for all its positions instead: a meta holds exactly one '<' or ':' (its first payload
// character; keys and values hold neither), so only the last such character of a run can start
// one; an emoji tag sequence holds only letters and digits, so it can start only after the last
// other character. The recognisers are still called at those positions for the final answer.
class TagRuns {
 public:
  bool may_hold_meta(std::string_view text, size_t pos) {
    if (!cover(text, pos)) return false;
    return cancelled_ && pos == meta_start_;
  }
  bool may_hold_emoji_tags(std::string_view text, size_t pos) {
    if (!cover(text, pos)) return false;
    return cancelled_ && pos >= emoji_from_;
  }

 private:
  // Scans the run that holds `pos` unless a scan already covers it; false when no payload
  // character (U+E0020..U+E007E) starts at `pos`.
  bool cover(std::string_view text, size_t pos) {
    if (pos >= start_ && pos < end_) return true;
    const auto first = tag_char_at(text, pos);
    if (!first || *first < 0x20 || *first > 0x7E) return false;
    start_ = pos;
    meta_start_ = std::string_view::npos;
    emoji_from_ = pos;
    size_t at = pos;
    for (auto c = first; c && *c >= 0x20 && *c <= 0x7E; c = tag_char_at(text, at)) {
      if (*c == '<' || *c == ':') meta_start_ = at;
      if (!is_ascii_alnum(*c)) emoji_from_ = at + kTagBytes;
      at += kTagBytes;
    }
    end_ = at;
    const auto last = tag_char_at(text, at);
    cancelled_ = last && *last == 0x7F;
    return true;
  }

  size_t start_ = 0;
  size_t end_ = 0;
  size_t meta_start_ = std::string_view::npos;
  size_t emoji_from_ = 0;
  bool cancelled_ = false;
};

}  // namespace glyphloom::detail
