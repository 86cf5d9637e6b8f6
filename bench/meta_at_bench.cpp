// meta_at is tried at every character position of every tagged text, so its cost on ordinary
// text is a per-character tax on parsing runs and converting text back to markup.
#include <string>
#include <string_view>

#include <benchmark/benchmark.h>

#include "glyphloom/meta.hpp"

namespace {

// About 64 KiB of mixed-script text without metas, including supplementary characters.
std::string ordinary_text() {
  const std::string sample =
      "The quick brown fox jumps over the lazy dog. 漢字かな交じり文、"
      "\xF0\x9F\x98\x80 e\xCC\x81 \xF0\x93\x80\x80 Ελληνικά, русский. ";
  std::string text;
  while (text.size() < 64 * 1024) text += sample;
  return text;
}

// Every byte offset as a start, as a scanner that does not decode first would try them.
void BM_MetaAtEveryByte(benchmark::State& state) {
  const std::string text = ordinary_text();
  const std::string_view view = text;
  for (auto _ : state) {
    size_t found = 0;
    for (size_t p = 0; p < view.size(); ++p)
      found += glyphloom::meta_at(view.substr(p)).has_value();
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * view.size()));
}
BENCHMARK(BM_MetaAtEveryByte);

// Every character position, as the run parser walks the text.
void BM_MetaAtEveryCharacter(benchmark::State& state) {
  const std::string text = ordinary_text();
  const std::string_view view = text;
  size_t positions = 0;
  for (size_t p = 0; p < view.size(); p += glyphloom::utf8::decode(view, p).length) ++positions;
  for (auto _ : state) {
    size_t found = 0;
    for (size_t p = 0; p < view.size(); p += glyphloom::utf8::decode(view, p).length) {
      found += glyphloom::meta_at(view.substr(p)).has_value();
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * positions));
}
BENCHMARK(BM_MetaAtEveryCharacter);

// Whole parses of tagged text: a font stretch around every sentence, a colour on every word end.
void BM_StyledParse(benchmark::State& state) {
  using glyphloom::Meta;
  using glyphloom::MetaKind;
  const std::string open = Meta{MetaKind::Open, "font", "han-japanese"}.tags();
  const std::string close = Meta{MetaKind::Close, "font", ""}.tags();
  const std::string color = Meta{MetaKind::Attached, "color", "red"}.tags();
  std::string tagged;
  while (tagged.size() < 64 * 1024)
    tagged += open + "漢字かな交じり文 the fox" + color + " jumps." + close;
  for (auto _ : state) benchmark::DoNotOptimize(glyphloom::Styled::parse(tagged));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * tagged.size()));
}
BENCHMARK(BM_StyledParse);

}  // namespace
