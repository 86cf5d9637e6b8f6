// Tests of single bytes: ASCII classes, the bytes of names, UTF-8 continuation bytes.
#pragma once

namespace glyphloom::text {

constexpr bool is_lower(char c) noexcept {
  return c >= 'a' && c <= 'z';
}
constexpr bool is_digit(char c) noexcept {
  return c >= '0' && c <= '9';
}
constexpr bool is_alnum(char c) noexcept {
  return is_lower(c) || (c >= 'A' && c <= 'Z') || is_digit(c);
}

// A byte of a short-reference name or of a name word: an ASCII letter or digit, '-' or '_'.
constexpr bool is_name_byte(char c) noexcept {
  return is_alnum(c) || c == '-' || c == '_';
}

// A byte that continues a UTF-8 sequence (10xxxxxx), so no character starts there.
constexpr bool is_continuation(char c) noexcept {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace glyphloom::text
