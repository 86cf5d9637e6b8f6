#include "text/white.hpp"

#include "glyphloom/meta.hpp"
#include "text/bytes.hpp"

namespace glyphloom::text {

std::string_view trim_start_white(std::string_view s) noexcept {
  while (!s.empty()) {
    const utf8::Decoded c = utf8::decode(s, 0);
    if (!utf8::is_white_space(c.cp)) break;
    s.remove_prefix(c.length);
  }
  return s;
}

std::string_view trim_end_white(std::string_view s) noexcept {
  while (!s.empty()) {
    // The last character starts at most three bytes back; a stray continuation byte counts alone.
    size_t start = s.size() - 1;
    while (start > 0 && s.size() - start < 4 && is_continuation(s[start])) --start;
    const utf8::Decoded c = utf8::decode(s, start);
    if (start + c.length != s.size() || !utf8::is_white_space(c.cp)) break;
    s.remove_suffix(c.length);
  }
  return s;
}

}  // namespace glyphloom::text
