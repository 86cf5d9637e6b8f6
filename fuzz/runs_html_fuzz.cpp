// meta_runs then html: runs lie on character boundaries, sorted and nested, and the HTML holds
// exactly the escaped plain text once the span tags are taken out. Runs as a caller may hand
// them in (any order, overlapping, any key and value, only their positions checked) render to
// the same text with every span closed, with effects shown or not.
#include <cstdint>
#include <vector>

#include "converter/effects_html.hpp"
#include "fuzz_support.hpp"

namespace {

using namespace glyphloom;

// The HTML with its span tags taken out; every span must be closed, and nothing but span tags
// may bring a '<' or a '>' into it.
std::string content_of(const std::string& html) {
  std::string content;
  size_t depth = 0;
  for (size_t pos = 0; pos < html.size();) {
    if (html.compare(pos, 5, "<span") == 0) {
      const size_t end = html.find('>', pos);
      FUZZ_CHECK(end != std::string::npos);
      // Attribute values are quoted and escaped: no quote or bracket of their own in between.
      const std::string_view tag(html.data() + pos, end - pos);
      FUZZ_CHECK(tag.find('<', 1) == std::string_view::npos);
      pos = end + 1;
      ++depth;
    } else if (html.compare(pos, 7, "</span>") == 0) {
      FUZZ_CHECK(depth > 0);
      --depth;
      pos += 7;
    } else {
      FUZZ_CHECK(html[pos] != '<' && html[pos] != '>');
      content += html[pos++];
    }
  }
  FUZZ_CHECK(depth == 0);
  return content;
}

// Runs made from the input's own bytes, as hostile as a caller's.
std::vector<MetaRun> caller_runs(std::string_view text) {
  static const char* const kKeys[] = {"font", "lang", "color", "size", "x", "a b", "on\"x", ""};
  static const char* const kValues[] = {"han-japanese", "red", "ja", "\"><b>", "a&b", "", "{}"};
  std::vector<MetaRun> runs;
  uint64_t state = text.size() * 0x9E3779B97F4A7C15ULL + 1;
  for (unsigned char b : text) {
    state = (state ^ b) * 0x100000001B3ULL;
    if (runs.size() == 64) break;
    const size_t limit = text.size() + 1;
    MetaRun run;
    run.key = kKeys[state % 8];
    run.value = kValues[(state >> 8) % 7];
    run.start = (state >> 16) % limit;
    run.end = (state >> 40) % limit;
    run.byte = b;
    if (!run_fault(text, run)) runs.push_back(std::move(run));
  }
  return runs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view tagged;
  if (!fuzz::as_text(data, size, tagged)) return 0;
  const Glyphloom& converter = fuzz::default_converter();
  Styled styled = converter.meta_runs(tagged);
  FUZZ_CHECK(styled.text.size() <= tagged.size());
  for (size_t i = 0; i < styled.runs.size(); ++i) {
    const MetaRun& run = styled.runs[i];
    FUZZ_CHECK(run.start < run.end);
    FUZZ_CHECK(!run_fault(styled.text, run));
    if (i > 0) {
      const MetaRun& prev = styled.runs[i - 1];
      FUZZ_CHECK(prev.start < run.start || (prev.start == run.start && prev.end >= run.end));
    }
    for (size_t j = 0; j < i; ++j) {  // nesting: disjoint or contained
      const MetaRun& outer = styled.runs[j];
      FUZZ_CHECK(outer.end <= run.start || run.end <= outer.end);
    }
  }
  FUZZ_CHECK(content_of(converter.html(styled)) == escape_html(styled.text));
  // Effect spans only wrap characters: the text comes through the same.
  FUZZ_CHECK(content_of(detail::effects_html(converter, styled)) == escape_html(styled.text));

  Styled handed{std::string(tagged), caller_runs(tagged), {}};
  FUZZ_CHECK(content_of(converter.html(handed)) == escape_html(handed.text));
  FUZZ_CHECK(content_of(detail::effects_html(converter, handed)) == escape_html(handed.text));
  return 0;
}
