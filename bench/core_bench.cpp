// Core throughput: lookups, hashing, conversion both ways, runs and HTML, in bytes per second.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "glyphloom/glyphloom.hpp"

namespace {

using namespace glyphloom;

const Glyphloom& converter() {
  static const Glyphloom g(std::get<Index>(Index::open(default_image())));
  return g;
}

// Names spread over the whole Names table, and as many absent ones.
const std::vector<std::string>& names(bool present) {
  static const auto lists = [] {
    std::vector<std::string> hit, miss;
    size_t i = 0;
    for (const Entry& e : converter().index().entries(Table::Names)) {
      if (i++ % 97 == 0) {
        hit.emplace_back(e.key);
        miss.push_back(std::string(e.key) + "-absent");
      }
    }
    return std::pair(hit, miss);
  }();
  return present ? lists.first : lists.second;
}

std::string repeat_to(std::string_view unit, size_t size) {
  std::string out;
  while (out.size() < size) out += unit;
  return out;
}

const std::string& plain_text() {
  static const std::string s = repeat_to(
      "The quick brown fox jumps over the lazy dog; plain prose passes straight through. ",
      1 << 20);
  return s;
}

const std::string& tag_dense() {
  static const std::string s = repeat_to(
      "see <:heavy-black-heart> and \\:alpha with <:bold a> <:greek beta> <:red "
      "heavy-black-heart> ",
      1 << 20);
  return s;
}

const std::string& converted_tag_dense() {
  static const std::string s =
      std::get<Converted>(converter().convert(tag_dense(), WarningMode::Lenient)).text;
  return s;
}

const std::string& tagged_document() {
  static const std::string s =
      std::get<Converted>(
          converter().convert(repeat_to("<:font han-japanese>漢字<:/font> text <:color red alpha> "
                                        "<:size 2em>big <:weight bold>bold<:/weight><:/size>\n",
                                        1 << 20),
                              WarningMode::Lenient))
          .text;
  return s;
}

void Lookup(benchmark::State& state) {
  const auto& keys = names(state.range(0) == 1);
  const Index& index = converter().index();
  size_t i = 0, bytes = 0;
  for (auto _ : state) {
    const std::string& key = keys[i++ % keys.size()];
    benchmark::DoNotOptimize(index.entry(Table::Names, key));
    bytes += key.size();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.SetLabel(state.range(0) == 1 ? "hit" : "miss");
}
BENCHMARK(Lookup)->Arg(1)->Arg(0);

void TextHash(benchmark::State& state) {
  const std::string& s = plain_text();
  for (auto _ : state) benchmark::DoNotOptimize(text_hash(s));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}
BENCHMARK(TextHash);

void MetaAtOrdinaryText(benchmark::State& state) {
  const std::string& s = plain_text();
  for (auto _ : state) {
    for (size_t pos = 0; pos < s.size(); ++pos) {
      benchmark::DoNotOptimize(meta_at(std::string_view(s).substr(pos)));
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}
BENCHMARK(MetaAtOrdinaryText);

template <const std::string& (*Input)()>
void Convert(benchmark::State& state) {
  const std::string& s = Input();
  for (auto _ : state) benchmark::DoNotOptimize(converter().convert(s, WarningMode::Lenient));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}
BENCHMARK(Convert<plain_text>)->Name("ConvertPlain");
BENCHMARK(Convert<tag_dense>)->Name("ConvertTagDense");

// A short call: what a conversion costs beyond its bytes (plain text, then one reference).
void ConvertShort(benchmark::State& state) {
  const std::string s = state.range(0) == 0 ? "abc" : "x \\:alpha y";
  for (auto _ : state) benchmark::DoNotOptimize(converter().convert(s, WarningMode::Warn));
  state.SetLabel(s);
}
BENCHMARK(ConvertShort)->Arg(0)->Arg(1);

// Linear in the input: the same mix of prose and tags at 1, 10 and 100 MB.
void ConvertMixed(benchmark::State& state) {
  const std::string s = repeat_to(
      "Some prose with <:bold a> and \\:alpha, a <:greek>beta<:/greek> block and more words. ",
      static_cast<size_t>(state.range(0)) << 20);
  for (auto _ : state) benchmark::DoNotOptimize(converter().convert(s, WarningMode::Lenient));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}
BENCHMARK(ConvertMixed)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

template <const std::string& (*Input)()>
void ToGlyphloom(benchmark::State& state) {
  const std::string& s = Input();
  for (auto _ : state) benchmark::DoNotOptimize(converter().to_glyphloom(s));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}
BENCHMARK(ToGlyphloom<plain_text>)->Name("ToGlyphloomPlain");
BENCHMARK(ToGlyphloom<converted_tag_dense>)->Name("ToGlyphloomTagDense");

void MetaRuns(benchmark::State& state) {
  const std::string& s = tagged_document();
  for (auto _ : state) benchmark::DoNotOptimize(converter().meta_runs(s));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}
BENCHMARK(MetaRuns);

void Html(benchmark::State& state) {
  static const Styled styled = converter().meta_runs(tagged_document());
  for (auto _ : state) benchmark::DoNotOptimize(converter().html(styled));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * styled.text.size()));
}
BENCHMARK(Html);

}  // namespace
