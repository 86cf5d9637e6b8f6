// Skipping text eight bytes at a time, as most text is ASCII.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace glyphloom::text {

// The high bit of every byte of a word, and the byte 1 in every byte.
inline constexpr uint64_t kHighBits = 0x8080808080808080ULL;
inline constexpr uint64_t kLowBits = 0x0101010101010101ULL;

// The first offset at or after `pos` from which no whole eight bytes are left or whose eight
// bytes `stops(word)` holds for; `stops` is given each word as memcpy reads it.
template <class Stops>
size_t skip_words(std::string_view text, size_t pos, Stops&& stops) noexcept {
  while (text.size() - pos >= 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + pos, sizeof word);
    if (stops(word)) break;
    pos += 8;
  }
  return pos;
}

// The end of the ASCII bytes from `pos` on.
inline size_t ascii_end(std::string_view text, size_t pos) noexcept {
  pos = skip_words(text, pos, [](uint64_t word) { return (word & kHighBits) != 0; });
  while (pos < text.size() && static_cast<unsigned char>(text[pos]) < 0x80) ++pos;
  return pos;
}

// Whether some byte of `word` equals `byte`: a zero byte of the word xor-ed with it repeated.
constexpr bool has_byte(uint64_t word, char byte) noexcept {
  const uint64_t x = word ^ (kLowBits * static_cast<unsigned char>(byte));
  return ((x - kLowBits) & ~x & kHighBits) != 0;
}

}  // namespace glyphloom::text
