// UTF-8 decoding and encoding. The decoder is total: whatever the bytes, it reads only inside the
// view and always makes progress, so every scanner built on it terminates.
#include "glyphloom/meta.hpp"
#include "text/ascii.hpp"
#include "text/bytes.hpp"

namespace glyphloom::utf8 {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

Decoded decode(std::string_view text, size_t pos) noexcept {
  if (pos >= text.size()) return {kReplacement, 0};
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data()) + pos;
  const size_t available = text.size() - pos;
  const uint8_t lead = bytes[0];
  if (lead < 0x80) return {lead, 1};

  size_t length;
  char32_t cp;
  // The second byte's range excludes overlong forms, surrogates and values above U+10FFFF.
  uint8_t low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return {kReplacement, 1};
  }
  if (available < length || bytes[1] < low || bytes[1] > high) return {kReplacement, 1};
  for (size_t i = 1; i < length; ++i) {
    if (!text::is_continuation(static_cast<char>(bytes[i]))) return {kReplacement, 1};
    cp = (cp << 6) | (bytes[i] & 0x3F);
  }
  return {cp, length};
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

bool valid_from(std::string_view text, size_t pos) noexcept {
  const size_t size = text.size();
  while (pos < size) {
    pos = text::ascii_end(text, pos);
    if (pos == size) break;
    const Decoded d = decode(text, pos);
    if (d.cp == kReplacement && d.length == 1) return false;
    pos += d.length;
  }
  return true;
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
