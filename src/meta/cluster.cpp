// The simplified cluster rule: joiners glue the next character on, and a fixed set of marks,
// selectors, modifiers and tags never start a cluster of their own.
#include <string>
#include <string_view>

#include "glyphloom/meta.hpp"

namespace glyphloom {

namespace {

bool is_joiner(char32_t c) noexcept {
  return c == 0x200D || (c >= 0x13430 && c <= 0x13436);
}

bool is_continuation(char32_t c) noexcept {
  struct Range {
    char32_t first, last;
  };
  static constexpr Range kRanges[] = {
      {0x0300, 0x036F},   {0x1AB0, 0x1AFF},   {0x1DC0, 0x1DFF},   {0x200D, 0x200D},
      {0x20D0, 0x20FF},   {0xFE00, 0xFE0F},   {0xFE20, 0xFE2F},   {0x13430, 0x1345F},
      {0x1F3FB, 0x1F3FF}, {0xE0000, 0xE007F}, {0xE0100, 0xE01EF},
  };
  if (c < 0x0300) return false;
  for (const Range& r : kRanges) {
    if (c < r.first) return false;
    if (c <= r.last) return true;
  }
  return false;
}

}  // namespace

bool continues_cluster(char32_t previous, char32_t current) noexcept {
  return is_joiner(previous) || is_continuation(current);
}

std::string attach(std::string_view text, std::string_view tags) {
  std::string out;
  out.reserve(text.size() + tags.size());
  bool has_previous = false;
  char32_t previous = 0;
  for (size_t pos = 0; pos < text.size();) {
    const utf8::Decoded d = utf8::decode(text, pos);
    if (has_previous && !continues_cluster(previous, d.cp)) out.append(tags);
    // The original bytes, not the decoded character: malformed input passes through unchanged.
    out.append(text.substr(pos, d.length));
    previous = d.cp;
    has_previous = true;
    pos += d.length;
  }
  out.append(tags);
  return out;
}

}  // namespace glyphloom
