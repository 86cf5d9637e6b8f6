#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include <algorithm>
#include <climits>

#include "index/kernels.hpp"
#include "index/search.hpp"

namespace glyphloom::detail {

namespace {

// A gather pays off only over many searches: for a few, reading their records one by one is
// faster (and much faster where gathers are microcoded).
constexpr size_t kMinGatherBatch = 16;

// Record i's hash is the 32-bit word 5 i of the array, which the gather's signed 32-bit indices
// reach for tables of fewer records than this.
constexpr uint32_t kMaxGatherRecords = uint32_t{1} << 28;

__attribute__((target("avx2"))) void gathered_rounds(const unsigned char* records, uint32_t n,
                                                     const uint32_t* hashes, size_t count,
                                                     uint32_t* los, uint32_t* his) noexcept {
  constexpr size_t kGroups = kMaxBatch / 8;
  const size_t groups = (count + 7) / 8;
  const __m256i flip = _mm256_set1_epi32(INT32_MIN), one = _mm256_set1_epi32(1);
  __m256i lo_v[kGroups], hi_v[kGroups], h_v[kGroups];
  for (size_t g = 0; g < groups; ++g) {
    uint32_t h[8];
    for (size_t k = 0; k < 8; ++k) h[k] = hashes[std::min(8 * g + k, count - 1)];
    h_v[g] = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(h)), flip);
    lo_v[g] = _mm256_setzero_si256();
    hi_v[g] = _mm256_set1_epi32(static_cast<int>(n));
  }
  const int* words = reinterpret_cast<const int*>(records);
  for (uint32_t remaining = n; remaining >= 2; remaining /= 2) {
    for (size_t g = 0; g < groups; ++g) {
      const __m256i mid =
          _mm256_add_epi32(lo_v[g], _mm256_srli_epi32(_mm256_sub_epi32(hi_v[g], lo_v[g]), 1));
      const __m256i word = _mm256_add_epi32(_mm256_slli_epi32(mid, 2), mid);
      const __m256i read = _mm256_i32gather_epi32(words, word, 4);
      const __m256i below = _mm256_cmpgt_epi32(h_v[g], _mm256_xor_si256(read, flip));
      lo_v[g] = _mm256_blendv_epi8(lo_v[g], _mm256_add_epi32(mid, one), below);
      hi_v[g] = _mm256_blendv_epi8(mid, hi_v[g], below);
    }
  }
  for (size_t g = 0; g < groups; ++g) {
    alignas(32) uint32_t lo[8], hi[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lo), lo_v[g]);
    _mm256_store_si256(reinterpret_cast<__m256i*>(hi), hi_v[g]);
    for (size_t k = 0; k < 8 && 8 * g + k < count; ++k) {
      los[8 * g + k] = lo[k];
      his[8 * g + k] = hi[k];
    }
  }
}

}  // namespace

void rounds_avx2(const unsigned char* records, uint32_t n, const uint32_t* hashes, size_t count,
                 uint32_t* los, uint32_t* his) noexcept {
  if (count >= kMinGatherBatch && n < kMaxGatherRecords) {
    gathered_rounds(records, n, hashes, count, los, his);
  } else {
#if defined(__SSE2__)
    rounds_sse2(records, n, hashes, count, los, his);
#else
    rounds_scalar(records, n, hashes, count, los, his);
#endif
  }
}

}  // namespace glyphloom::detail

#endif
