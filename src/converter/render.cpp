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

// `pattern` with every "{}" replaced by `value`.
void append_replaced(std::string& out, std::string_view pattern, std::string_view value) {
  for (size_t at = pattern.find("{}"); at != std::string_view::npos; at = pattern.find("{}")) {
    out += pattern.substr(0, at);
    out += value;
    pattern.remove_prefix(at + 2);
  }
  out += pattern;
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
  std::vector<std::string_view> families;
  std::vector<std::string_view> features;
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

  // `font(run.value)`, its lookups in the same order, into reused lists.
  bool known_font = false;
  if (run.key == "font") {
    const Index& index = converter.index();
    std::string& key = scratch.key;
    key.assign(run.value);
    key += ' ';
    if (index.entry(Table::Fonts, key)) {
      known_font = true;
      const size_t stem = key.size();
      const auto font_attribute = [&](std::string_view word) {
        key.resize(stem);
        key += word;
        return index.get(Table::Fonts, key).value_or(std::string_view());
      };
      const std::string_view lang = font_attribute("lang");
      list(font_attribute("families"), scratch.families);
      list(font_attribute("features"), scratch.features);
      attribute("", "lang", lang);
      append_quoted_list(declaration() += "font-family: ", scratch.families);
      if (!scratch.features.empty()) {
        append_quoted_list(declaration() += "font-feature-settings: ", scratch.features);
      }
    }
  }
  if (known_font) {
  } else if (run.key == "lang") {
    attribute("", "lang", run.value);
  } else if (const auto pattern = converter.meta_template(run.key)) {
    // The value goes in as it is; the whole style attribute is escaped below.
    if (run.key == "font") {
      append_replaced(declaration(), *pattern, detail::cat({"'", run.value, "'"}));
    } else {
      append_replaced(declaration(), *pattern, run.value);
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
