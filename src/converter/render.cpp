// Meta runs checked against the index, and their rendering as HTML span elements.
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "glyphloom/glyphloom.hpp"
#include "glyphloom/meta.hpp"
#include "internal.hpp"

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

std::string Glyphloom::span(const MetaRun& run) const {
  std::string out = "<span";
  std::vector<std::string> style;
  const auto attribute = [&out](std::string_view prefix, std::string_view name,
                                std::string_view value) {
    out += ' ';
    out += prefix;
    out += name;
    out += "=\"";
    append_escaped_html(out, value);
    out += '"';
  };

  const auto known_font = run.key == "font" ? font(run.value) : std::nullopt;
  if (known_font) {
    attribute("", "lang", known_font->lang);
    append_quoted_list(style.emplace_back("font-family: "), known_font->families);
    if (!known_font->features.empty()) {
      append_quoted_list(style.emplace_back("font-feature-settings: "), known_font->features);
    }
  } else if (run.key == "lang") {
    attribute("", "lang", run.value);
  } else if (const auto pattern = meta_template(run.key)) {
    // The value goes in as it is; the whole style attribute is escaped below.
    if (run.key == "font") {
      append_replaced(style.emplace_back(), *pattern, detail::cat({"'", run.value, "'"}));
    } else {
      append_replaced(style.emplace_back(), *pattern, run.value);
    }
  } else if (is_key(run.key)) {
    attribute("data-", run.key, run.value);
  }
  // Runs handed in by a caller may carry any key. Escaping cannot make arbitrary text a safe
  // attribute name (a space or "=" would start attributes of the caller's choosing), so a key
  // that is no valid meta key gives no attribute at all.

  if (!style.empty()) {
    std::string joined = style.front();
    for (size_t i = 1; i < style.size(); ++i) {
      joined += "; ";
      joined += style[i];
    }
    attribute("", "style", joined);
  }
  out += '>';
  return out;
}

std::string Glyphloom::html(const Styled& styled) const {
  return styled.interleaved("</span>", escape_html,
                            [this](const MetaRun& run) { return span(run); });
}

}  // namespace glyphloom
