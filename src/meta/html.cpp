// HTML escaping, comma lists, and the interleaving of plain text with run elements.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "glyphloom/meta.hpp"
#include "meta/interleave.hpp"

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
  list(text, items);
  return items;
}

// The walk itself is detail::interleave (interleave.hpp), which the renderer also calls directly.
std::string Styled::interleaved(std::string_view close,
                                const std::function<std::string(std::string_view)>& text_fn,
                                const std::function<std::string(const MetaRun&)>& open) const {
  std::string out;
  std::vector<size_t> ends;
  detail::interleave(
      *this, out, close, ends, [&](std::string_view text) { out += text_fn(text); },
      [&](const MetaRun& run) { out += open(run); });
  return out;
}

void list(std::string_view text, std::vector<std::string_view>& items) {
  items.clear();
  while (!text.empty()) {
    const size_t comma = text.find(',');
    const std::string_view item = trimmed(text.substr(0, comma));
    if (!item.empty()) items.push_back(item);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
}

}  // namespace glyphloom
