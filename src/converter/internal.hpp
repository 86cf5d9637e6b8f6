// Helpers shared by the converter's source files: character stepping, key and message
// building, the script classes of suffixes and groups, the work bounds, and the restyling
// machinery that the tag resolver reuses across the characters of one tag.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "glyphloom/glyphloom.hpp"
#include "glyphloom/index.hpp"
#include "glyphloom/meta.hpp"
#include "text/markup.hpp"
#include "text/white.hpp"

namespace glyphloom::detail {

using text::fill;
using text::trim_end_white;
using text::trim_start_white;

// Bounds on work that hostile input could otherwise blow up. Each is documented where it
// applies.
//
// One tag applies every one of its modifiers to every character it produces (a style lookup or
// a suffix per modifier and character), so the modifier count multiplies the tag's output.
inline constexpr size_t kMaxTagModifiers = 32;
// Attached metas are repeated after every cluster of the tag's text; their encoded size
// multiplies it the same way.
inline constexpr size_t kMaxAttachedTagBytes = 1024;
// Orderings of style parts tried when combining styles: all orderings of up to six parts.
inline constexpr size_t kMaxStyleOrderings = 720;
// Links followed from a styled character to its base; the default image needs two.
inline constexpr size_t kMaxRestyleDepth = 16;
// Findings kept per conversion. A tag finds one per modifier and character (a style without a
// form of each character, say), so one line of source can find millions; past this many only
// their number is kept, in one last warning.
inline constexpr size_t kMaxWarnings = 1000;

using Char = utf8::Decoded;

// The character at `pos` (< s.size()); malformed bytes decode as U+FFFD one byte long, so walks
// over caller bytes always progress and stay inside the text.
inline Char char_at(std::string_view s, size_t pos) noexcept {
  return utf8::decode(s, pos);
}

inline std::string encoded(char32_t cp) {
  std::string out;
  utf8::append(out, cp);
  return out;
}

// The only character of `s`, or nothing when `s` is empty or holds more than one.
inline std::optional<char32_t> single_char(std::string_view s) noexcept {
  if (s.empty()) return std::nullopt;
  const Char c = char_at(s, 0);
  if (c.length != s.size()) return std::nullopt;
  return c.cp;
}

// The pieces of a text between single spaces (U+0020 only), empty ones included, in order.
class SpacePieces {
 public:
  explicit SpacePieces(std::string_view text) noexcept : text_(text) {}
  std::optional<std::string_view> next() noexcept {
    if (start_ >= text_.size()) return std::nullopt;
    size_t end = text_.find(' ', start_);
    if (end == std::string_view::npos) end = text_.size();
    std::string_view piece = text_.substr(start_, end - start_);
    start_ = end + 1;
    return piece;
  }

 private:
  std::string_view text_;
  size_t start_ = 0;
};

inline bool more_than_one_char(std::string_view s) noexcept {
  return !s.empty() && char_at(s, 0).length < s.size();
}

// The script word of directive keys: "egyptian", "cjk", or empty for every other character.
// Egyptian runs through Extended-A (U+13460..U+143FF), up to the Anatolian block.
inline std::string_view script_word(char32_t cp) noexcept {
  if (cp >= 0x13000 && cp <= 0x143FF) return "egyptian";
  if ((cp >= 0x2E80 && cp <= 0x9FFF) || (cp >= 0x20000 && cp <= 0x33FFF)) return "cjk";
  return {};
}

// The concatenation of `parts`, for building index keys.
inline std::string cat(std::initializer_list<std::string_view> parts) {
  size_t size = 0;
  for (auto p : parts) size += p.size();
  std::string out;
  out.reserve(size);
  for (auto p : parts) out += p;
  return out;
}

// `cat` for a key that is only looked up: a short one is built in a buffer of its own, so that
// the lookups made for every tag allocate nothing.
class Key {
 public:
  Key(std::initializer_list<std::string_view> parts) {
    for (auto p : parts) size_ += p.size();
    if (size_ > sizeof short_) {
      long_.resize(size_);
      data_ = long_.data();
    }
    char* at = data_;
    for (auto p : parts) {
      p.copy(at, p.size());
      at += p.size();
    }
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  size_t size() const noexcept { return size_; }
  // The first `size` bytes of the key (no more than it has).
  void truncate(size_t size) noexcept { size_ = size < size_ ? size : size_; }
  Key& operator+=(std::string_view more) {
    if (size_ + more.size() > (data_ == short_ ? sizeof short_ : long_.size())) {
      std::string longer(std::max(2 * (size_ + more.size()), sizeof short_), '\0');
      std::string_view(data_, size_).copy(longer.data(), size_);
      long_ = std::move(longer);
      data_ = long_.data();
    }
    more.copy(data_ + size_, more.size());
    size_ += more.size();
    return *this;
  }
  Key& operator+=(char c) { return *this += std::string_view(&c, 1); }

  // Every `from` byte of the key becomes `to`.
  Key& replace(char from, char to) noexcept {
    for (size_t i = 0; i < size_; ++i) {
      if (data_[i] == from) data_[i] = to;
    }
    return *this;
  }
  std::string_view view() const noexcept { return {data_, size_}; }
  operator std::string_view() const noexcept { return view(); }

 private:
  char short_[96];
  std::string long_;
  char* data_ = short_;
  size_t size_ = 0;
};

// `Glyphloom::effect_suffixes` of any run of effect words.
std::string effect_suffixes_of(const Glyphloom& converter,
                               std::span<const std::string_view> effects, char32_t base,
                               size_t byte);

// `Glyphloom::font(name)` into `font`, whose lists keep their storage, building its keys in `key`:
// for renderers that look many fonts up. False, leaving `font` in any state, for no font.
bool font_into(const Index& index, std::string_view name, std::string& key, Font& font);

// Finds combined style names for one list of style words. The tag resolver keeps one per tag:
// the combined name depends only on the words and a character's own style, so it is searched
// once per own style, not once per character.
class StyleCombiner {
 public:
  StyleCombiner(const Index& index, const std::vector<std::string_view>& words);
  // The first ordering, in lexicographic order, of the distinct "-"-parts of the words and of
  // `own` whose joined name has a marker key; the name is borrowed from the index.
  std::optional<std::string_view> combined(std::string_view own);

 private:
  const Index& index_;
  std::vector<std::string_view> parts_;
  std::unordered_map<std::string_view, std::optional<std::string_view>> found_;
};

// `Glyphloom::restyled` with a caller-kept combiner for the same `styles`.
std::string restyled_with(const Glyphloom& converter, StyleCombiner& combiner,
                          const std::vector<std::string_view>& styles, char32_t c, size_t byte);

}  // namespace glyphloom::detail
