// A small image with the converter's vocabulary: a few entities, modifiers, forms, effects,
// groups, spellings, fonts and meta keys, shaped like the default image's entries.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "glyphloom/glyphloom.hpp"
#include "glyphloom/writer.hpp"
#include "test_images.hpp"

namespace glyphloom::testing {

inline std::vector<TableRows> converter_rows() {
  // clang-format off
  TableRows names;
  // Entities, then marker keys of modifiers.
  names.insert(names.end(), {
      {"alpha", "\u03B1"}, {"beta", "\u03B2"}, {"latin-small-letter-eng", "\u014B"},
      {"white-heart", "\U0001F90D"}, {"sun", "\u65E5"}, {"moon", "\u6708"}, {"bold ", ""},
      {"italic ", ""}, {"bold-italic ", ""}, {"sans ", ""}, {"sans-bold-italic ", ""},
      {"double-struck ", ""}, {"upper ", ""}, {"circled ", ""}, {"small-capital ", ""},
      {"greek ", ""}, {"gardiner ", ""}, {"above ", ""}, {"beside ", ""}, {"white ", ""},
      {"red ", ""}, {"mirror ", ""}, {"flip ", ""}, {"iconic ", ""}, {"emoji ", ""}, {"text ", ""},
      {"grey ", ""}, {"gray ", ""}});
  // Forms.
  names.insert(names.end(), {
      {"bold A", "\U0001D400"}, {"bold a", "\U0001D41A"}, {"bold b", "\U0001D41B"},
      {"bold \u03B1", "\U0001D6C2"}, {"bold 2", "\U0001D7D0"}, {"italic A", "\U0001D434"},
      {"bold-italic A", "\U0001D468"}, {"sans-bold-italic A", "\U0001D63C"},
      {"double-struck A", "\U0001D538"}, {"upper A", "\u1D2C"}, {"upper 2", "\u00B2"},
      {"circled a", "\u24D0"}, {"circled 1", "\u2460"}, {"greek alpha", "\u03B1"},
      {"greek a", "\u03B1"}, {"greek b", "\u03B2"}, {"white heart", "\U0001F90D"},
      {"gardiner noble-on-chair", "\U00013008"}});
  // Effects and groups.
  names.insert(names.end(), {
      {"red *suffix", "\U000E0072"}, {"red *suffix egyptian", ""}, {"red *suffix cjk", ""},
      {"red *meta", "color red"}, {"grey *suffix", "\U000E0061"}, {"grey *suffix cjk", ""},
      {"grey *meta", "color gray"}, {"gray *suffix", "\U000E0061"}, {"gray *suffix cjk", ""},
      {"gray *meta", "color gray"}, {"mirror *suffix", "\U000E004D"},
      {"mirror *suffix egyptian", "\U00013440"}, {"flip *suffix", "\U000E0046"},
      {"flip *suffix egyptian", ""}, {"flip *suffix cjk", ""}, {"iconic *suffix", "\uFE0F"},
      {"emoji *suffix", "\uFE0F"}, {"text *suffix", "\uFE0E"}, {"above *group", ""},
      {"above *prefix cjk", "\u2FF1"}, {"above *infix egyptian", "\U00013430"},
      {"beside *group", ""}, {"beside *prefix cjk", "\u2FF0"},
      {"beside *infix egyptian", "\U00013431"}});
  TableRows spellings = {
      {"\U0001D400", "<:bold A>"}, {"\U0001D41A", "<:bold a>"}, {"\U0001D434", "<:italic A>"},
      {"\U0001D468", "<:bold-italic A>"}, {"\u00B2", "<:upper 2>"}, {"\u00B9", "<:upper 1>"},
      {"\u014B", "<:latin-small-letter-eng>"}, {"\u00E6", "<:latin small ae>"},
      {"\U0001F90D", "<:white heart>"}};
  TableRows fonts = {
      {"han-japanese ", ""}, {"han-japanese lang", "ja"},
      {"han-japanese families", "Noto Sans CJK JP, Hiragino Sans"}};
  TableRows templates = {
      {"font", "font-family: {}"}, {"lang", ""}, {"color", "color: {}"}, {"size", "font-size: {}"}};
  // clang-format on
  return {names, spellings, {}, fonts, templates};
}

// The converter over `converter_rows()`; `extra_names` rows come first and win over its own.
inline Glyphloom converter_with(const TableRows& extra_names = {}) {
  auto rows = converter_rows();
  rows[0].insert(rows[0].begin(), extra_names.begin(), extra_names.end());
  return Glyphloom(make_index(std::move(rows)));
}

// The TAG-character sequence of one meta.
inline std::string meta_tags(MetaKind kind, std::string key, std::string value = {}) {
  return Meta{kind, std::move(key), std::move(value)}.tags();
}

// The conversion's text and warnings; a failed conversion fails the test.
inline Converted converted(const Glyphloom& converter, std::string_view source,
                           WarningMode mode = WarningMode::Warn) {
  auto result = converter.convert(source, mode);
  if (const auto* error = std::get_if<Error>(&result)) {
    ADD_FAILURE() << "converting \"" << source << "\" failed: " << error_text(*error);
    return {};
  }
  return std::get<Converted>(std::move(result));
}

// The textual form of the conversion's error, or a note that it succeeded.
inline std::string failure(const Glyphloom& converter, std::string_view source,
                           WarningMode mode = WarningMode::Warn) {
  const auto result = converter.convert(source, mode);
  if (const auto* error = std::get_if<Error>(&result)) return error_text(*error);
  return "(converted to \"" + std::get<Converted>(result).text + "\")";
}

inline std::vector<std::string> messages(const std::vector<Warning>& warnings) {
  std::vector<std::string> out;
  for (const auto& warning : warnings) out.push_back(warning.message);
  return out;
}

}  // namespace glyphloom::testing

namespace glyphloom {
inline void PrintTo(const Warning& warning, std::ostream* os) {
  *os << warning.text();
}
}  // namespace glyphloom
