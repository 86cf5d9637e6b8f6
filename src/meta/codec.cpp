// The meta codec: metas as TAG characters (U+E0000 + each payload character, then U+E007F) and
// back. The decoders run at every character position of a text, so they reject ordinary text on
// its first byte and build strings only once a whole sequence has been checked.
#include <optional>
#include <string>
#include <string_view>

#include "glyphloom/meta.hpp"
#include "text/bytes.hpp"

namespace glyphloom {

namespace {

constexpr char32_t kTagBase = 0xE0000;
constexpr unsigned kCancelTag = 0x7F;  // U+E007F, less the base

using text::is_alnum;
using text::is_digit;
using text::is_lower;

bool is_key_char(char c) noexcept {
  return is_lower(c) || is_digit(c) || c == '-';
}
bool is_value_char(char c) noexcept {
  return is_alnum(c) || std::string_view("#.%+-_,()/").find(c) != std::string_view::npos;
}

// A checked TAG sequence at the start of a text: its payload characters and its byte length.
struct Scan {
  size_t count;
  size_t length;
};

// Every TAG character is F3 A0 80..81 xx in UTF-8, four bytes each. The public decoders test the
// first byte themselves before anything else, so that ordinary text costs one comparison.
bool may_start_tags(std::string_view text) noexcept {
  return !text.empty() && static_cast<uint8_t>(text[0]) == 0xF3;
}

std::optional<Scan> scan(std::string_view text) noexcept {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  for (size_t pos = 0, count = 0;; pos += 4, ++count) {
    if (text.size() - pos < 4) return std::nullopt;
    const uint8_t* b = bytes + pos;
    if (b[0] != 0xF3 || b[1] != 0xA0 || (b[2] & 0xFE) != 0x80 || (b[3] & 0xC0) != 0x80) {
      return std::nullopt;
    }
    const unsigned low = ((b[2] & 1u) << 6) | (b[3] & 0x3Fu);
    if (low == kCancelTag) {
      if (count == 0) return std::nullopt;
      return Scan{count, pos + 4};
    }
    if (low < 0x20) return std::nullopt;
  }
}

// The payload character `i` of a scanned sequence.
char payload_char(std::string_view text, size_t i) noexcept {
  const auto b2 = static_cast<uint8_t>(text[4 * i + 2]);
  const auto b3 = static_cast<uint8_t>(text[4 * i + 3]);
  return static_cast<char>(((b2 & 1u) << 6) | (b3 & 0x3Fu));
}

std::string payload_slice(std::string_view text, size_t from, size_t to) {
  std::string out(to - from, '\0');
  for (size_t i = from; i < to; ++i) out[i - from] = payload_char(text, i);
  return out;
}

bool payload_is_key(std::string_view text, size_t from, size_t to) noexcept {
  if (from >= to || !is_lower(payload_char(text, from))) return false;
  for (size_t i = from + 1; i < to; ++i) {
    if (!is_key_char(payload_char(text, i))) return false;
  }
  return true;
}

bool payload_is_value(std::string_view text, size_t from, size_t to) noexcept {
  if (from >= to) return false;
  for (size_t i = from; i < to; ++i) {
    if (!is_value_char(payload_char(text, i))) return false;
  }
  return true;
}

void append_shifted(std::string& out, std::string_view payload) {
  for (size_t pos = 0; pos < payload.size();) {
    const utf8::Decoded d = utf8::decode(payload, pos);
    pos += d.length;
    // Past U+2FFFF the shifted value would leave Unicode; such characters cannot be carried.
    if (d.cp >= 0x30000) continue;
    utf8::append(out, kTagBase + d.cp);
  }
}

// The part of meta_at past the first byte, kept out of line so that rejecting ordinary text needs
// no stack frame.
[[gnu::noinline]] std::optional<MetaAt> decode_meta(std::string_view text) {
  const std::optional<Scan> found = scan(text);
  if (!found) return std::nullopt;
  const size_t count = found->count;
  const char first = payload_char(text, 0);

  if (first == '<' && count >= 2 && payload_char(text, 1) == '/') {
    if (!payload_is_key(text, 2, count)) return std::nullopt;
    return MetaAt{Meta{MetaKind::Close, payload_slice(text, 2, count), {}}, found->length};
  }
  if (first != '<' && first != ':') return std::nullopt;
  size_t space = 1;
  while (space < count && payload_char(text, space) != ' ') ++space;
  if (space == count) return std::nullopt;
  if (!payload_is_key(text, 1, space) || !payload_is_value(text, space + 1, count)) {
    return std::nullopt;
  }
  const MetaKind kind = first == '<' ? MetaKind::Open : MetaKind::Attached;
  return MetaAt{Meta{kind, payload_slice(text, 1, space), payload_slice(text, space + 1, count)},
                found->length};
}

}  // namespace

std::string Meta::tags() const {
  std::string out;
  out.reserve(4 * (key.size() + value.size() + 3));
  switch (kind) {
    case MetaKind::Open:
      append_shifted(out, "<");
      break;
    case MetaKind::Close:
      append_shifted(out, "</");
      break;
    case MetaKind::Attached:
      append_shifted(out, ":");
      break;
  }
  append_shifted(out, key);
  if (kind != MetaKind::Close) {
    append_shifted(out, " ");
    append_shifted(out, value);
  }
  utf8::append(out, kTagBase + kCancelTag);
  return out;
}

std::string Meta::glyphloom() const {
  switch (kind) {
    case MetaKind::Open:
      return "<:" + key + " " + value + ">";
    case MetaKind::Close:
      return "<:/" + key + ">";
    case MetaKind::Attached:
      break;
  }
  return key + " " + value;
}

std::optional<TagSequence> tag_sequence_at(std::string_view text) {
  if (!may_start_tags(text)) return std::nullopt;
  const std::optional<Scan> found = scan(text);
  if (!found) return std::nullopt;
  return TagSequence{payload_slice(text, 0, found->count), found->length};
}

std::optional<MetaAt> meta_at(std::string_view text) {
  if (!may_start_tags(text)) return std::nullopt;
  return decode_meta(text);
}

std::optional<size_t> emoji_tags_at(std::string_view text) {
  if (!may_start_tags(text)) return std::nullopt;
  const std::optional<Scan> found = scan(text);
  if (!found) return std::nullopt;
  for (size_t i = 0; i < found->count; ++i) {
    if (!is_alnum(payload_char(text, i))) return std::nullopt;
  }
  return found->length;
}

bool is_key(std::string_view s) noexcept {
  if (s.empty() || !is_lower(s[0])) return false;
  for (char c : s.substr(1)) {
    if (!is_key_char(c)) return false;
  }
  return true;
}

bool is_value(std::string_view s) noexcept {
  if (s.empty()) return false;
  for (char c : s) {
    if (!is_value_char(c)) return false;
  }
  return true;
}

}  // namespace glyphloom
