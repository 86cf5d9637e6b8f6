// Trimming Unicode White_Space off the ends of a text.
#pragma once

#include <string_view>

namespace glyphloom::text {

std::string_view trim_start_white(std::string_view s) noexcept;
std::string_view trim_end_white(std::string_view s) noexcept;
inline std::string_view trim_white(std::string_view s) noexcept {
  return trim_end_white(trim_start_white(s));
}

}  // namespace glyphloom::text
