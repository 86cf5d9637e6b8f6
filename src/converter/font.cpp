// Font records from the Fonts table.
#include <optional>
#include <string>
#include <string_view>

#include "glyphloom/glyphloom.hpp"
#include "internal.hpp"
#include "text/comma.hpp"

namespace glyphloom {

namespace detail {

bool font_into(const Index& index, std::string_view name, std::string& key, Font& font) {
  key.assign(name);
  key += ' ';
  const auto marker = index.entry(Table::Fonts, key);
  if (!marker) return false;
  const size_t stem = key.size();
  const auto attribute = [&](std::string_view word) {
    key.resize(stem);
    key += word;
    return index.get(Table::Fonts, key).value_or(std::string_view());
  };
  font.name = trim_end_white(marker->key);
  font.lang = attribute("lang");
  text::comma_items(attribute("families"), font.families);
  text::comma_items(attribute("features"), font.features);
  return true;
}

}  // namespace detail

std::optional<Font> Glyphloom::font(std::string_view name) const {
  std::string key;
  Font font;
  if (!detail::font_into(index_, name, key, font)) return std::nullopt;
  return font;
}

}  // namespace glyphloom
