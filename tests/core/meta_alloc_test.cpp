// Counts heap allocations made by this thread. The replacement is weak so that it never clashes
// with another test's replacement, and left out under the address sanitizer, which has its own;
// when it is not in force, the probe below notices and the test is skipped, never passed.
#include <cstdlib>
#include <new>
#include <string>

#include <gtest/gtest.h>

#include "glyphloom/meta.hpp"

namespace {
thread_local size_t allocations = 0;
}  // namespace

#ifndef __SANITIZE_ADDRESS__
// The standard library's other forms (array, nothrow) forward to these two.
__attribute__((weak)) void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
__attribute__((weak)) void operator delete(void* p) noexcept {
  std::free(p);
}
__attribute__((weak)) void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
#endif

namespace glyphloom {
namespace {

TEST(MetaAlloc, MetaAtRejectsOrdinaryTextWithoutAllocating) {
  const size_t before_probe = allocations;
  ::operator delete(::operator new(16));
  if (allocations == before_probe) GTEST_SKIP() << "operator new is not counted in this build";

  // Ordinary text, other supplementary characters (F3 lead bytes too), emoji tag sequences and
  // malformed TAG runs: none of them is a meta, and rejecting them must not touch the heap.
  std::string text = "plain ascii, 漢字, é, \xF0\x9F\x98\x80 \xF3\xB0\x80\x80 \xF3\xA0\x80";
  text += Meta{MetaKind::Open, "Font", "x"}.tags();
  text += "\xF0\x9F\x8F\xB4\xF3\xA0\x81\xA7\xF3\xA0\x81\xA2\xF3\xA0\x81\xBF";
  const size_t before = allocations;
  size_t metas = 0, emoji = 0;
  for (size_t p = 0; p < text.size(); ++p) {
    metas += meta_at(std::string_view(text).substr(p)).has_value();
    emoji += emoji_tags_at(std::string_view(text).substr(p)).has_value();
  }
  EXPECT_EQ(allocations, before);
  EXPECT_EQ(metas, 0u);
  EXPECT_EQ(emoji, 3u);  // from the tags g and b of the flag, and the tag x ending "<Font x"
}

}  // namespace
}  // namespace glyphloom
