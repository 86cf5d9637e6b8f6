// meta_runs then html: runs lie on character boundaries, sorted and nested, and the HTML holds
// exactly the escaped plain text once the span tags are taken out.
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace glyphloom;
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
  std::string html = converter.html(styled);
  // Strip the span tags: what remains must be the escaped text.
  std::string content;
  for (size_t pos = 0; pos < html.size();) {
    if (html.compare(pos, 5, "<span") == 0) {
      pos = html.find('>', pos) + 1;
    } else if (html.compare(pos, 7, "</span>") == 0) {
      pos += 7;
    } else {
      content += html[pos++];
    }
  }
  FUZZ_CHECK(content == escape_html(styled.text));
  return 0;
}
