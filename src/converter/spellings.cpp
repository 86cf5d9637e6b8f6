// How single characters are written in markup: the Spellings table, read both ways.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "glyphloom/glyphloom.hpp"
#include "internal.hpp"
#include "steps.hpp"
#include "text/markup.hpp"

namespace glyphloom {

bool detail::has_name(const Index& index, std::string_view key) {
  return index.entry(Table::Names, key).has_value();
}

std::string detail::spelled(const Glyphloom& converter, char32_t c,
                            const std::vector<std::string_view>& effects) {
  const Index& index_ = converter.index();
  const std::string ch = detail::encoded(c);
  const auto text = index_.get(Table::Spellings, ch);
  if (effects.empty()) return text ? std::string(*text) : ch;
  // Cutting the brackets off a text that has none could split a character; such a spelling
  // names nothing, so the character stands for itself.
  std::string_view name = ch;
  if (text) name = text::bracketed_name(*text).value_or(ch);
  std::string out = "<:";
  for (auto effect : effects) {
    out += effect;
    out += ' ';
  }
  out += name;
  out += '>';
  return out;
}

std::optional<Glyphloom::Spelling> Glyphloom::spelling(char32_t c) const {
  const auto text = index_.get(Table::Spellings, detail::encoded(c));
  if (!text) return std::nullopt;
  const auto name = text::bracketed_name(*text);
  if (!name) return std::nullopt;
  const size_t space = name->find(' ');
  if (space == std::string_view::npos) return Spelling{{}, *name};
  const auto word = name->substr(0, space);
  if (detail::has_name(index_, name->substr(0, space + 1)))
    return Spelling{word, name->substr(space + 1)};
  return Spelling{{}, *name};
}

}  // namespace glyphloom
