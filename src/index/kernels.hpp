// The rounds of a batch of lower-bound searches (see `lower_bounds` in whole.cpp), one kernel per
// instruction set, each in a file of its own. `rounds` is the kernel for this processor, chosen on
// its first call.
//
// A kernel runs `count` searches (1 to kMaxBatch) over the `n` record hashes at `records`, whose
// bounds start as los[k] = 0, his[k] = n, for as many rounds as every search is still going: each
// takes the midpoints of `lower_bound`, one step of every search per round, so the searches do not
// wait on one another and their reads overlap. Unsigned comparisons in the vector forms are signed
// ones with the top bits flipped.
#pragma once

#include <cstddef>
#include <cstdint>

namespace glyphloom::detail {

using Rounds = void (*)(const unsigned char* records, uint32_t n, const uint32_t* hashes,
                        size_t count, uint32_t* los, uint32_t* his) noexcept;

// One search after the other: for processors without vectors.
void rounds_scalar(const unsigned char* records, uint32_t n, const uint32_t* hashes, size_t count,
                   uint32_t* los, uint32_t* his) noexcept;
#if defined(__SSE2__)
// Four searches to a vector, their records read one by one.
void rounds_sse2(const unsigned char* records, uint32_t n, const uint32_t* hashes, size_t count,
                 uint32_t* los, uint32_t* his) noexcept;
#endif
#if defined(__x86_64__) || defined(__i386__)
// Eight searches to a vector, their records read by one gather; fewer searches, or a table too
// large for the gather's indices, go to the narrower kernel. Only for processors with AVX2.
void rounds_avx2(const unsigned char* records, uint32_t n, const uint32_t* hashes, size_t count,
                 uint32_t* los, uint32_t* his) noexcept;
#endif

Rounds rounds() noexcept;

}  // namespace glyphloom::detail
