// The UTF-8 check, inline: the index checks every key and text it returns, and those are short.
#pragma once

#include <cstddef>
#include <string_view>

#include "text/ascii.hpp"
#include "text/bytes.hpp"

namespace glyphloom::text {

// The length of the well-formed UTF-8 sequence at `pos` (< text.size()), or 0 when there is
// none. The second byte's range excludes overlong forms, surrogates and values above U+10FFFF.
inline size_t sequence_length(std::string_view text, size_t pos) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data()) + pos;
  const size_t available = text.size() - pos;
  const unsigned lead = p[0];
  if (lead < 0x80) return 1;
  size_t length;
  unsigned low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (available < length || p[1] < low || p[1] > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if (!is_continuation(static_cast<char>(p[k]))) return 0;
  }
  return length;
}

// The code point of the well-formed sequence of `length` bytes at `pos` (see sequence_length).
inline char32_t code_point(std::string_view text, size_t pos, size_t length) noexcept {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data()) + pos;
  // The lead byte keeps 7, 5, 4 or 3 bits, each further byte 6.
  char32_t cp = bytes[0] & (0xFFu >> (length + (length > 1)));
  for (size_t i = 1; i < length; ++i) cp = (cp << 6) | (bytes[i] & 0x3F);
  return cp;
}

inline bool valid_utf8(std::string_view text) noexcept {
  for (size_t pos = 0; (pos = ascii_end(text, pos)) < text.size();) {
    const size_t length = sequence_length(text, pos);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

}  // namespace glyphloom::text
