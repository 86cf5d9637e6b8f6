// HTML escaping, comma lists, and the interleaving of plain text with run elements.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "glyphloom/meta.hpp"

namespace glyphloom {

namespace {

std::string_view entity_for(char c) noexcept {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    default:
      return {};
  }
}

bool is_lead_or_ascii(char c) noexcept {
  return (static_cast<uint8_t>(c) & 0xC0) != 0x80;
}

// The start of the last character of a non-empty text; a stray continuation byte counts alone.
size_t last_character(std::string_view text) noexcept {
  size_t pos = text.size() - 1;
  for (size_t back = 0; back < 3 && pos > 0 && !is_lead_or_ascii(text[pos]); ++back) --pos;
  if (utf8::decode(text, pos).length != text.size() - pos) return text.size() - 1;
  return pos;
}

std::string_view trimmed(std::string_view text) noexcept {
  while (!text.empty()) {
    const utf8::Decoded d = utf8::decode(text, 0);
    if (!utf8::is_white_space(d.cp)) break;
    text.remove_prefix(d.length);
  }
  while (!text.empty()) {
    const size_t last = last_character(text);
    if (!utf8::is_white_space(utf8::decode(text, last).cp)) break;
    text.remove_suffix(text.size() - last);
  }
  return text;
}

// Moves `pos` forward off the middle of a UTF-8 sequence (at most three bytes, never past
// `limit`), so that no element boundary splits a character of valid text.
size_t character_boundary(std::string_view text, size_t pos, size_t limit) noexcept {
  for (int step = 0; step < 3 && pos < limit && !is_lead_or_ascii(text[pos]); ++step) ++pos;
  return pos;
}

}  // namespace

void append_escaped_html(std::string& out, std::string_view s) {
  size_t from = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const std::string_view entity = entity_for(s[i]);
    if (entity.empty()) continue;
    out.append(s, from, i - from);
    out.append(entity);
    from = i + 1;
  }
  out.append(s, from);
}

std::string escape_html(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  append_escaped_html(out, s);
  return out;
}

std::vector<std::string_view> list(std::string_view text) {
  std::vector<std::string_view> items;
  while (!text.empty()) {
    const size_t comma = text.find(',');
    const std::string_view item = trimmed(text.substr(0, comma));
    if (!item.empty()) items.push_back(item);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return items;
}

// Runs as `parse` returns them render exactly as walked. Any other list still renders safely:
// each run is clamped into [P, end of the innermost open element] (P being the position reached
// so far) and moved off the middle of a character, so P never goes back, every text byte is
// passed to `text_fn` exactly once and in order, nothing is read outside the text, and every
// opened element is closed. A run that comes out empty still renders as an empty element.
std::string Styled::interleaved(std::string_view close,
                                const std::function<std::string(std::string_view)>& text_fn,
                                const std::function<std::string(const MetaRun&)>& open) const {
  const std::string_view plain = text;
  const size_t size = plain.size();
  std::string out;
  std::vector<size_t> ends;  // the clamped ends of the open elements, innermost last
  size_t p = 0;

  const auto text_to = [&](size_t to) {
    out += text_fn(plain.substr(p, to - p));
    p = to;
  };
  const auto close_top = [&] {
    text_to(ends.back());
    ends.pop_back();
    out.append(close);
  };

  for (const MetaRun& run : runs) {
    const size_t start = character_boundary(plain, std::clamp(run.start, p, size), size);
    while (!ends.empty() && ends.back() <= start) close_top();
    const size_t limit = ends.empty() ? size : ends.back();
    const size_t from = std::min(start, limit);
    const size_t to = character_boundary(plain, std::clamp(run.end, from, limit), limit);
    text_to(from);
    out += open(run);
    ends.push_back(to);
  }
  while (!ends.empty()) close_top();
  text_to(size);
  return out;
}

}  // namespace glyphloom
