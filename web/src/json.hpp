// JSON text for the answers to JavaScript.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace glyphloom::web::json {

// A JSON string of UTF-8 text: quotes, backslashes and control characters escaped.
inline void append_string(std::string& out, std::string_view s) {
  out += '"';
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
          out += buffer;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

// The length in UTF-16 code units of valid UTF-8 text.
inline size_t utf16_length(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s) {
    if ((c & 0xC0) != 0x80) n += 1;
    if ((c & 0xF8) == 0xF0) n += 1;  // a four-byte character is a surrogate pair
  }
  return n;
}

}  // namespace glyphloom::web::json
