// Font records from the Fonts table.
#include <optional>
#include <string>
#include <string_view>

#include "glyphloom/glyphloom.hpp"
#include "glyphloom/meta.hpp"
#include "internal.hpp"

namespace glyphloom {

std::optional<Font> Glyphloom::font(std::string_view name) const {
  std::string key = detail::cat({name, " "});
  const auto marker = index_.entry(Table::Fonts, key);
  if (!marker) return std::nullopt;
  const size_t stem = key.size();
  const auto attribute = [&](std::string_view word) {
    key.resize(stem);
    key += word;
    return index_.get(Table::Fonts, key).value_or(std::string_view());
  };
  Font font;
  font.name = detail::trim_end_white(marker->key);
  font.lang = attribute("lang");
  font.families = list(attribute("families"));
  font.features = list(attribute("features"));
  return font;
}

}  // namespace glyphloom
