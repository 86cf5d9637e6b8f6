// Text to markup on the inputs that leave the bulk ASCII copy: effect characters, attached metas
// and long runs of TAG characters that form no meta; and span rendering per run kind.
#include <benchmark/benchmark.h>

#include <string>

#include "glyphloom/glyphloom.hpp"

namespace {

using namespace glyphloom;

const Glyphloom& converter() {
  static const Glyphloom g(std::get<Index>(Index::open(default_image())));
  return g;
}

std::string u8(char32_t cp) {
  std::string out;
  utf8::append(out, cp);
  return out;
}

std::string repeat_to(std::string_view unit, size_t size) {
  std::string out;
  while (out.size() < size) out += unit;
  return out;
}

// Hearts with suffixes, letters with attached metas, spelled and unspelled characters.
const std::string& folded_text() {
  static const std::string s = repeat_to(
      "ab" + u8(0x2764) + u8(0xFE0F) + " x" + Meta{MetaKind::Attached, "color", "red"}.tags() +
          u8(0x014B) + "漢字" + u8(0x2764) + u8(0xE0072) + u8(0xE0062) + " ",
      1 << 20);
  return s;
}

// One run of TAG characters with a meta only at its end: every other position is spelled.
const std::string& tag_run() {
  static const std::string s =
      repeat_to(u8(0xE003C), 1 << 20) + Meta{MetaKind::Open, "font", "x"}.tags();
  return s;
}

template <const std::string& (*Text)()>
void ToGlyphloomOf(benchmark::State& state) {
  const std::string& s = Text();
  for (auto _ : state) benchmark::DoNotOptimize(converter().to_glyphloom(s));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * s.size());
}
BENCHMARK(ToGlyphloomOf<folded_text>)->Name("ToGlyphloomFolded");
BENCHMARK(ToGlyphloomOf<tag_run>)->Name("ToGlyphloomTagRun");

void Span(benchmark::State& state) {
  const MetaRun runs[] = {{"font", "han-jis78", 0, 1, 0},
                          {"color", "red", 0, 1, 0},
                          {"lang", "en", 0, 1, 0},
                          {"x-id", "42", 0, 1, 0}};
  const MetaRun& run = runs[state.range(0)];
  for (auto _ : state) benchmark::DoNotOptimize(converter().span(run));
}
BENCHMARK(Span)->DenseRange(0, 3);

}  // namespace
