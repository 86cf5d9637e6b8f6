// Comma-separated lists, such as the families and features of a font.
#pragma once

#include <string_view>
#include <vector>

namespace glyphloom::text {

// The comma-separated items of `text`, trimmed of white space, empty ones dropped.
std::vector<std::string_view> comma_items(std::string_view text);
// The same into `items`, which is emptied first (its storage is kept for reuse).
void comma_items(std::string_view text, std::vector<std::string_view>& items);

}  // namespace glyphloom::text
