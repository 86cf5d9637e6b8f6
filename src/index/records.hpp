// The 20-byte records of a table as they lie in an image: hash, key offset and length, text offset
// and length, each a little-endian u32.
#pragma once

#include <cstddef>
#include <cstdint>

namespace glyphloom::detail {

inline constexpr uint64_t kRecordSize = 20;

inline uint32_t load_u32(const unsigned char* p) noexcept {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The hash of record `i` of an array that is known to hold it.
inline uint32_t hash_at(const unsigned char* records, size_t i) noexcept {
  return load_u32(records + kRecordSize * i);
}

}  // namespace glyphloom::detail
