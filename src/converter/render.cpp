// Meta runs checked against the index, and their rendering as HTML span elements.
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "glyphloom/glyphloom.hpp"
#include "glyphloom/meta.hpp"
#include "internal.hpp"
#include "meta/interleave.hpp"
#include "text/markup.hpp"

namespace glyphloom {

namespace {

// `items`, each in apostrophes, joined by ", ".
void append_quoted_list(std::string& out, const std::vector<std::string_view>& items) {
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += ", ";
    out += '\'';
    out += items[i];
    out += '\'';
  }
}

}  // namespace

Styled Glyphloom::meta_runs(std::string_view tagged) const {
  Styled styled = Styled::parse(tagged);
  for (const MetaRun& run : styled.runs) {
    if (!meta_template(run.key)) {
      styled.warnings.push_back({detail::fill("unknown meta key {}", {run.key}), run.byte});
    }
  }
  std::stable_sort(styled.warnings.begin(), styled.warnings.end(),
                   [](const Warning& a, const Warning& b) { return a.byte < b.byte; });
  return styled;
}

std::optional<std::string_view> Glyphloom::meta_template(std::string_view key) const {
  return index_.get(Table::Templates, key);
}

namespace {

// Storage that the spans of one rendering reuse, so that rendering allocates only its result.
struct SpanScratch {
  std::string key;
  std::string style;
  Font font;
};

// Glyphloom::span(run), appended to `out`.
void append_span(const Glyphloom& converter, std::string& out, SpanScratch& scratch,
                 const MetaRun& run) {
  out += "<span";
  const auto attribute = [&out](std::string_view prefix, std::string_view name,
                                std::string_view value) {
    out += ' ';
    out += prefix;
    out += name;
    out += "=\"";
    append_escaped_html(out, value);
    out += '"';
  };
  // The declarations of the style attribute, joined by "; ".
  std::string& style = scratch.style;
  style.clear();
  bool styled = false;
  const auto declaration = [&]() -> std::string& {
    if (styled) style += "; ";
    styled = true;
    return style;
  };

  if (run.key == "font" &&
      detail::font_into(converter.index(), run.value, scratch.key, scratch.font)) {
    attribute("", "lang", scratch.font.lang);
    append_quoted_list(declaration() += "font-family: ", scratch.font.families);
    if (!scratch.font.features.empty()) {
      append_quoted_list(declaration() += "font-feature-settings: ", scratch.font.features);
    }
  } else if (run.key == "lang") {
    attribute("", "lang", run.value);
  } else if (const auto pattern = converter.meta_template(run.key)) {
    // The value goes in as it is; the whole style attribute is escaped below.
    if (run.key == "font") {
      const std::string quoted = detail::cat({"'", run.value, "'"});
      text::append_filled(declaration(), *pattern,
                          [&](size_t) { return std::string_view(quoted); });
    } else {
      text::append_filled(declaration(), *pattern,
                          [&](size_t) { return std::string_view(run.value); });
    }
  } else if (is_key(run.key)) {
    attribute("data-", run.key, run.value);
  }
  // Runs handed in by a caller may carry any key. Escaping cannot make arbitrary text a safe
  // attribute name (a space or "=" would start attributes of the caller's choosing), so a key
  // that is no valid meta key gives no attribute at all.

  if (styled) attribute("", "style", style);
  out += '>';
}

}  // namespace

std::string Glyphloom::span(const MetaRun& run) const {
  std::string out;
  SpanScratch scratch;
  append_span(*this, out, scratch, run);
  return out;
}

std::string Glyphloom::html(const Styled& styled) const {
  // Text and elements are appended in place, as interleaved("</span>", escape_html, span) would
  // join them.
  std::string out;
  out.reserve(styled.text.size() + styled.text.size() / 4);
  SpanScratch scratch;
  std::vector<size_t> ends;
  detail::interleave(
      styled, out, "</span>", ends, [&](std::string_view text) { append_escaped_html(out, text); },
      [&](const MetaRun& run) { append_span(*this, out, scratch, run); });
  return out;
}

}  // namespace glyphloom
