// The text hash (h = h * 31 + byte) of eight bytes at once, and the powers of 31 that join and
// scale such words. A word holding only its first r bytes (the rest zero) hashes to 31^(8 - r)
// times the hash of those r bytes; 31 is odd, so the factor can be taken back out.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace glyphloom::detail {

// 31^k and 31^-k modulo 2^32, for k = 0..16.
struct HashPowers {
  uint32_t up[17];
  uint32_t down[17];
};
inline constexpr HashPowers kHashPowers = [] {
  uint32_t inverse = 31;
  for (int i = 0; i < 5; ++i) inverse *= 2 - 31 * inverse;  // Newton: doubles the correct bits
  HashPowers p{};
  p.up[0] = p.down[0] = 1;
  for (int k = 1; k <= 16; ++k) {
    p.up[k] = p.up[k - 1] * 31u;
    p.down[k] = p.down[k - 1] * inverse;
  }
  return p;
}();
static_assert(kHashPowers.up[1] * kHashPowers.down[1] == 1);

// Eight bytes, the first one lowest, as hash_word takes them.
inline uint64_t load_word(const void* p) noexcept {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
  return w;
}

// Four bytes, the first one lowest.
inline uint32_t load_half(const void* p) noexcept {
  uint32_t w;
  std::memcpy(&w, p, sizeof w);
  if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap32(w);
  return w;
}

// b0 * 31^7 + b1 * 31^6 + ... + b7 for the bytes b0 (the lowest) to b7 of `w`: summed in pairs,
// then in fours, then the two halves, in lanes wide enough that nothing carries between them.
inline uint32_t hash_word(uint64_t w) noexcept {
  constexpr uint64_t kBytes = 0x00FF00FF00FF00FFULL, kPairs = 0x0000FFFF0000FFFFULL;
  const uint64_t pairs = (w & kBytes) * 31 + (w >> 8 & kBytes);
  const uint64_t fours = (pairs & kPairs) * (31 * 31) + (pairs >> 16 & kPairs);
  return static_cast<uint32_t>(fours) * kHashPowers.up[4] + static_cast<uint32_t>(fours >> 32);
}

// text_hash, inline: h = h * 31 + byte over the bytes, evaluated a word at a time: a last, partial
// word is read as whole bytes ending at the text's end and scaled back (hash_word.hpp), so no step
// goes byte by byte and short keys take the same few branches whatever their length.
inline uint32_t hash_of(std::string_view text) noexcept {
  const char* p = text.data();
  const size_t n = text.size();
  if (n >= 8) {
    uint32_t h = 0;
    size_t i = 0;
    for (; n - i > 8; i += 8) h = h * kHashPowers.up[8] + hash_word(load_word(p + i));
    // The last eight bytes, less those already hashed: r of them, 1 to 8.
    const size_t r = n - i;
    const uint64_t last = load_word(p + n - 8) >> (8 * (8 - r));
    return h * kHashPowers.up[r] + hash_word(last) * kHashPowers.down[8 - r];
  }
  if (n >= 4) {
    // The first four bytes and, overlapping them, the last four, of which the top n - 4 count.
    const uint64_t first = load_half(p);
    const uint64_t rest = uint64_t{load_half(p + n - 4)} >> (8 * (8 - n));
    return hash_word(first) * kHashPowers.down[4] * kHashPowers.up[n - 4] +
           hash_word(rest) * kHashPowers.down[12 - n];
  }
  uint32_t h = 0;
  for (size_t i = 0; i < n; ++i) h = h * 31u + static_cast<unsigned char>(p[i]);
  return h;
}

}  // namespace glyphloom::detail
