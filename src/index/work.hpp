// The work this thread's index searches did, counted only in builds with GLYPHLOOM_COUNT_WORK
// (the development and test builds), so that tests bound work, not time, on hostile input;
// other builds pay nothing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace glyphloom::detail {

struct LookupWork {
  uint64_t searches = 0;    // keys searched for among a table's hashes
  uint64_t candidates = 0;  // records whose key a search read to compare
};

#if defined(GLYPHLOOM_COUNT_WORK)
inline thread_local LookupWork lookup_work;
inline void count_searches(size_t n) noexcept {
  lookup_work.searches += n;
}
inline void count_candidate() noexcept {
  ++lookup_work.candidates;
}
#else
inline void count_searches(size_t) noexcept {}
inline void count_candidate() noexcept {}
#endif

}  // namespace glyphloom::detail
