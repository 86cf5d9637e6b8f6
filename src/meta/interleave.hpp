// The walk of Styled::interleaved with callbacks that write to the output themselves, so that a
// renderer appends its pieces in place instead of returning a string for each.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "glyphloom/meta.hpp"
#include "text/bytes.hpp"

namespace glyphloom::detail {

// Moves `pos` forward off the middle of a UTF-8 sequence (at most three bytes, never past
// `limit`), so that no element boundary splits a character of valid text.
inline size_t character_boundary(std::string_view text, size_t pos, size_t limit) noexcept {
  for (int step = 0; step < 3 && pos < limit && text::is_continuation(text[pos]); ++step) ++pos;
  return pos;
}

// Runs as `parse` returns them render exactly as walked. Any other list still renders safely:
// each run is clamped into [P, end of the innermost open element] (P being the position reached
// so far) and moved off the middle of a character, so P never goes back, every text byte is
// passed to `text` exactly once and in order, nothing is read outside the text, and every opened
// element is closed. A run that comes out empty still renders as an empty element.
// `ends` holds the clamped ends of the open elements (innermost last); it is left empty.
template <class Text, class Open>
void interleave(const Styled& styled, std::string& out, std::string_view close,
                std::vector<size_t>& ends, Text&& text, Open&& open) {
  const std::string_view plain = styled.text;
  const size_t size = plain.size();
  size_t p = 0;
  ends.clear();

  const auto text_to = [&](size_t to) {
    text(plain.substr(p, to - p));
    p = to;
  };
  const auto close_top = [&] {
    text_to(ends.back());
    ends.pop_back();
    out.append(close);
  };

  for (const MetaRun& run : styled.runs) {
    const size_t start = character_boundary(plain, std::clamp(run.start, p, size), size);
    while (!ends.empty() && ends.back() <= start) close_top();
    const size_t limit = ends.empty() ? size : ends.back();
    const size_t from = std::min(start, limit);
    const size_t to = character_boundary(plain, std::clamp(run.end, from, limit), limit);
    text_to(from);
    open(run);
    ends.push_back(to);
  }
  while (!ends.empty()) close_top();
  text_to(size);
}

}  // namespace glyphloom::detail
