#if defined(__SSE2__)
#include <emmintrin.h>

#include <algorithm>
#include <climits>

#include "index/kernels.hpp"
#include "index/records.hpp"
#include "index/search.hpp"

namespace glyphloom::detail {

// Four searches to a vector, their four records read one by one. Keys past `count` repeat the
// last one.
void rounds_sse2(const unsigned char* records, uint32_t n, const uint32_t* hashes, size_t count,
                 uint32_t* los, uint32_t* his) noexcept {
  constexpr size_t kGroups = kMaxBatch / 4;
  const size_t groups = (count + 3) / 4;
  const __m128i flip = _mm_set1_epi32(INT32_MIN), one = _mm_set1_epi32(1);
  __m128i lo_v[kGroups], hi_v[kGroups], h_v[kGroups];
  for (size_t g = 0; g < groups; ++g) {
    uint32_t h[4];
    for (size_t k = 0; k < 4; ++k) h[k] = hashes[std::min(4 * g + k, count - 1)];
    h_v[g] = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h)), flip);
    lo_v[g] = _mm_setzero_si128();
    hi_v[g] = _mm_set1_epi32(static_cast<int>(n));
  }
  for (uint32_t remaining = n; remaining >= 2; remaining /= 2) {
    for (size_t g = 0; g < groups; ++g) {
      const __m128i mid =
          _mm_add_epi32(lo_v[g], _mm_srli_epi32(_mm_sub_epi32(hi_v[g], lo_v[g]), 1));
      const auto read_lane = [&](__m128i lane) {
        const auto i = static_cast<uint32_t>(_mm_cvtsi128_si32(lane));
        return _mm_cvtsi32_si128(static_cast<int>(hash_at(records, i)));
      };
      const __m128i read = _mm_unpacklo_epi64(
          _mm_unpacklo_epi32(read_lane(mid), read_lane(_mm_shuffle_epi32(mid, 1))),
          _mm_unpacklo_epi32(read_lane(_mm_shuffle_epi32(mid, 2)),
                             read_lane(_mm_shuffle_epi32(mid, 3))));
      const __m128i below = _mm_cmplt_epi32(_mm_xor_si128(read, flip), h_v[g]);
      lo_v[g] = _mm_or_si128(_mm_and_si128(below, _mm_add_epi32(mid, one)),
                             _mm_andnot_si128(below, lo_v[g]));
      hi_v[g] = _mm_or_si128(_mm_and_si128(below, hi_v[g]), _mm_andnot_si128(below, mid));
    }
  }
  for (size_t g = 0; g < groups; ++g) {
    alignas(16) uint32_t lo[4], hi[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lo), lo_v[g]);
    _mm_store_si128(reinterpret_cast<__m128i*>(hi), hi_v[g]);
    for (size_t k = 0; k < 4 && 4 * g + k < count; ++k) {
      los[4 * g + k] = lo[k];
      his[4 * g + k] = hi[k];
    }
  }
}

}  // namespace glyphloom::detail

#endif
