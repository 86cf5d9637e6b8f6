// UTF-8 decoding and encoding. The decoder is total: whatever the bytes, it reads only inside the
// view and always makes progress, so every scanner built on it terminates.
#include "text/utf8.hpp"
#include "glyphloom/meta.hpp"

namespace glyphloom::utf8 {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

Decoded decode(std::string_view text, size_t pos) noexcept {
  if (pos >= text.size()) return {kReplacement, 0};
  const size_t length = text::sequence_length(text, pos);
  if (length == 0) return {kReplacement, 1};
  return {text::code_point(text, pos, length), length};
}

void append(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    const char bytes[] = {static_cast<char>(0xC0 | (cp >> 6)),
                          static_cast<char>(0x80 | (cp & 0x3F))};
    out.append(bytes, 2);
  } else if (cp < 0x10000) {
    const char bytes[] = {static_cast<char>(0xE0 | (cp >> 12)),
                          static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                          static_cast<char>(0x80 | (cp & 0x3F))};
    out.append(bytes, 3);
  } else {
    const char bytes[] = {
        static_cast<char>(0xF0 | (cp >> 18)), static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
        static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
    out.append(bytes, 4);
  }
}

bool valid(std::string_view text) noexcept {
  return text::valid_utf8(text);
}

bool is_white_space(char32_t cp) noexcept {
  switch (cp) {
    case 0x0009:
    case 0x000A:
    case 0x000B:
    case 0x000C:
    case 0x000D:
    case 0x0020:
    case 0x0085:
    case 0x00A0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return cp >= 0x2000 && cp <= 0x200A;
  }
}

}  // namespace glyphloom::utf8
