#include "index/kernels.hpp"
#include "index/records.hpp"

namespace glyphloom::detail {

void rounds_scalar(const unsigned char* records, uint32_t n, const uint32_t* hashes, size_t count,
                   uint32_t* los, uint32_t* his) noexcept {
  for (uint32_t remaining = n; remaining >= 2; remaining /= 2) {
    for (size_t k = 0; k < count; ++k) {
      const uint32_t lo = los[k], hi = his[k];
      const uint32_t mid = lo + (hi - lo) / 2;
      const bool below = hash_at(records, mid) < hashes[k];
      los[k] = below ? mid + 1 : lo;
      his[k] = below ? hi : mid;
    }
  }
}

Rounds rounds() noexcept {
  static const Rounds chosen = [] {
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx2")) return rounds_avx2;
#endif
#if defined(__SSE2__)
    return rounds_sse2;
#else
    return rounds_scalar;
#endif
  }();
  return chosen;
}

}  // namespace glyphloom::detail
