#include "glyphloom/index.hpp"
#include "hash_word.hpp"

namespace glyphloom {

// h = h * 31 + byte over the bytes, evaluated a word at a time: a last, partial word is read as
// whole bytes ending at the text's end and scaled back (hash_word.hpp), so no step goes byte by
// byte and short keys take the same few branches whatever their length.
uint32_t text_hash(std::string_view text) noexcept {
  using detail::kHashPowers;
  const char* p = text.data();
  const size_t n = text.size();
  if (n >= 8) {
    uint32_t h = 0;
    size_t i = 0;
    for (; n - i > 8; i += 8)
      h = h * kHashPowers.up[8] + detail::hash_word(detail::load_word(p + i));
    // The last eight bytes, less those already hashed: r of them, 1 to 8.
    const size_t r = n - i;
    const uint64_t last = detail::load_word(p + n - 8) >> (8 * (8 - r));
    return h * kHashPowers.up[r] + detail::hash_word(last) * kHashPowers.down[8 - r];
  }
  if (n >= 4) {
    // The first four bytes and, overlapping them, the last four, of which the top n - 4 count.
    const uint64_t first = detail::load_half(p);
    const uint64_t rest = uint64_t{detail::load_half(p + n - 4)} >> (8 * (8 - n));
    return detail::hash_word(first) * kHashPowers.down[4] * kHashPowers.up[n - 4] +
           detail::hash_word(rest) * kHashPowers.down[12 - n];
  }
  uint32_t h = 0;
  for (size_t i = 0; i < n; ++i) h = h * 31u + static_cast<unsigned char>(p[i]);
  return h;
}

}  // namespace glyphloom
