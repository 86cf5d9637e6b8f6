#include "text/comma.hpp"

#include "text/white.hpp"

namespace glyphloom::text {

std::vector<std::string_view> comma_items(std::string_view text) {
  std::vector<std::string_view> items;
  comma_items(text, items);
  return items;
}

void comma_items(std::string_view text, std::vector<std::string_view>& items) {
  items.clear();
  while (!text.empty()) {
    const size_t comma = text.find(',');
    const std::string_view item = trim_white(text.substr(0, comma));
    if (!item.empty()) items.push_back(item);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
}

}  // namespace glyphloom::text
