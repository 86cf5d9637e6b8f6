// What the chunked lookups and the chunk writer must agree on: where the header's fields lie, which
// names the absence filter answers for, and how a name is hashed into it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "glyphloom/index.hpp"

namespace glyphloom::detail {

inline constexpr uint32_t kNoBase = 0xFFFFFFFF;
inline constexpr uint64_t kHeaderFixed = 16;  // magic, chunk count, table count, base chunk

inline uint64_t directory_at(uint32_t table) {
  return kHeaderFixed + 12 * uint64_t{table};
}
inline uint64_t bound_at(uint32_t tables, uint64_t bound) {
  return kHeaderFixed + 12 * uint64_t{tables} + 8 * bound;
}
// The filter block follows the bounds of the base chunk's predecessors 0 ... base - 1.
inline uint64_t bloom_at(uint32_t tables, uint32_t base) {
  return bound_at(tables, base);
}

// The keys only the base chunk holds: a marker ends with a space, a directive contains '*'.
inline bool is_reserved_name(std::string_view key) {
  return !key.empty() && (key.back() == ' ' || key.find('*') != std::string_view::npos);
}

// Whether the filter is consulted for a name the base chunk lacks. A one-word name always is; a
// longer one only when its first word is a modifier (its marker is in the base chunk) that does
// not carry `*rare`, whose composed names are too many to be worth filtering. `has` answers
// whether the base chunk's Names table holds a key.
template <class Has>
bool bloom_probes(std::string_view key, Has&& has) {
  const size_t cut = key.find_first_of("- ");
  if (cut == std::string_view::npos) return true;
  std::string probe(key.substr(0, cut));
  probe += ' ';
  if (!has(std::string_view(probe))) return false;
  probe += "*rare";
  return !has(std::string_view(probe));
}

// Double hashing: position j is (h1 + j * h2) mod m in 64 bits. h2 is odd so that it is never 0
// modulo a power of two.
struct BloomHashes {
  uint64_t h1;
  uint64_t h2;
};
inline BloomHashes bloom_hashes(std::string_view key) {
  uint32_t h2 = 0;
  for (unsigned char byte : key) h2 = h2 * 131 + byte;
  return {text_hash(key), uint64_t{h2 | 1u}};
}
// h1 and h2 are below 2^32 and j below 2^32, so the sum cannot wrap 64 bits.
inline uint64_t bloom_position(const BloomHashes& h, uint64_t j, uint32_t bits) {
  return (h.h1 + j * h.h2) % bits;
}

}  // namespace glyphloom::detail
