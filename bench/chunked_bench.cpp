// Chunked lookups against whole-image lookups over the default image, all chunks supplied: the
// cost of the base-chunk stage, the filter and the bound search.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "glyphloom/chunk_writer.hpp"
#include "glyphloom/chunked.hpp"

namespace {

using namespace glyphloom;

const ChunkSet& chunk_set() {
  static const ChunkSet set = std::get<ChunkSet>(write_chunks(default_image()));
  return set;
}

Index index_of(bool chunked) {
  if (!chunked) return std::get<Index>(Index::open(default_image()));
  auto opened = std::get<std::shared_ptr<Chunked>>(Chunked::open(chunk_set().header));
  for (size_t c = 0; c < chunk_set().chunks.size(); ++c) {
    opened->supply_borrowed(c, chunk_set().chunks[c]);
  }
  return Index(opened);
}

// Every 97th name, and as many absent one-word names (the ones the filter answers).
const std::vector<std::string>& names(bool present) {
  static const auto lists = [] {
    std::vector<std::string> hit, miss;
    size_t i = 0;
    const Index whole = index_of(false);  // Entries refers to its index: keep it named
    for (const Entry& e : whole.entries(Table::Names)) {
      if (i++ % 97 == 0) {
        hit.emplace_back(e.key);
        miss.push_back("zq" + std::to_string(i));
      }
    }
    return std::pair(hit, miss);
  }();
  return present ? lists.first : lists.second;
}

// Arguments: chunked (0/1), present names (0/1).
void BM_NameLookup(benchmark::State& state) {
  const Index index = index_of(state.range(0) != 0);
  const std::vector<std::string>& keys = names(state.range(1) != 0);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(index.get(Table::Names, keys[i]));
    if (++i == keys.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NameLookup)->ArgsProduct({{0, 1}, {0, 1}})->ArgNames({"chunked", "present"});

void BM_WriteChunks(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(write_chunks(default_image()));
}
BENCHMARK(BM_WriteChunks)->Unit(benchmark::kMillisecond);

}  // namespace
