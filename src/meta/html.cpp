// HTML escaping, and the interleaving of plain text with run elements.
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

}  // namespace glyphloom
