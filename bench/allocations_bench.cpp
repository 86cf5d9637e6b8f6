// Heap allocations per call of each core operation, as the counter `allocs`. A conversion should
// allocate only its results: the output string (and its growth), the warning list and the runs.
//
// The global operator new of this benchmark binary is replaced by one that counts; the other
// benchmarks pay one thread-local increment per allocation, which none of them measures.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <new>
#include <string>

#include "glyphloom/glyphloom.hpp"

namespace {
thread_local size_t allocations = 0;
}  // namespace

// The replacements pair malloc with free on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return ::operator new(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace {

using namespace glyphloom;

const Glyphloom& converter() {
  static const Glyphloom g(std::get<Index>(Index::open(default_image())));
  return g;
}

std::string repeat_to(std::string_view unit, size_t size) {
  std::string out;
  while (out.size() < size) out += unit;
  return out;
}

constexpr size_t kSize = 64 << 10;

const std::string& plain() {
  static const std::string s =
      repeat_to("The quick brown fox jumps over the lazy dog; plain prose. ", kSize);
  return s;
}

// A short reference every third word.
const std::string& references() {
  static const std::string s =
      repeat_to("the quick \\:alpha fox jumps \\:eng over the \\:rarr dog ", kSize);
  return s;
}

// A tag every third word: whole names, a style and an effect.
const std::string& tags() {
  static const std::string s = repeat_to(
      "the quick <:grinning-face> fox jumps <:heavy-black-heart> over the <:bold a> dog <:red "
      "heavy-black-heart> ",
      kSize);
  return s;
}

const std::string& converted_tags() {
  static const std::string s =
      std::get<Converted>(converter().convert(tags(), WarningMode::Warn)).text;
  return s;
}

const std::string& tagged() {
  static const std::string s =
      std::get<Converted>(
          converter().convert(repeat_to("<:font han-japanese>漢字<:/font> text <:color red alpha> "
                                        "<:size 2em>big <:weight bold>bold<:/weight><:/size>\n",
                                        kSize),
                              WarningMode::Lenient))
          .text;
  return s;
}

// Runs `op` once per iteration and reports the allocations of one call.
template <class Op>
void count(benchmark::State& state, size_t bytes, Op&& op) {
  size_t total = 0;
  for (auto _ : state) {
    const size_t before = allocations;
    benchmark::DoNotOptimize(op());
    total += allocations - before;
  }
  state.counters["allocs"] =
      benchmark::Counter(static_cast<double>(total), benchmark::Counter::kAvgIterations);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void AllocsLookup(benchmark::State& state) {
  count(state, 22,
        [] { return converter().index().entry(Table::Names, "latin-small-letter-eng"); });
}
BENCHMARK(AllocsLookup);

void AllocsConvertPlain(benchmark::State& state) {
  count(state, plain().size(), [] { return converter().convert(plain(), WarningMode::Warn); });
}
BENCHMARK(AllocsConvertPlain);

void AllocsConvertReferences(benchmark::State& state) {
  count(state, references().size(),
        [] { return converter().convert(references(), WarningMode::Warn); });
}
BENCHMARK(AllocsConvertReferences);

void AllocsConvertTags(benchmark::State& state) {
  count(state, tags().size(), [] { return converter().convert(tags(), WarningMode::Warn); });
}
BENCHMARK(AllocsConvertTags);

void AllocsToGlyphloom(benchmark::State& state) {
  count(state, converted_tags().size(), [] { return converter().to_glyphloom(converted_tags()); });
}
BENCHMARK(AllocsToGlyphloom);

void AllocsMetaRuns(benchmark::State& state) {
  count(state, tagged().size(), [] { return converter().meta_runs(tagged()); });
}
BENCHMARK(AllocsMetaRuns);

void AllocsHtml(benchmark::State& state) {
  static const Styled styled = converter().meta_runs(tagged());
  count(state, styled.text.size(), [] { return converter().html(styled); });
}
BENCHMARK(AllocsHtml);

}  // namespace
