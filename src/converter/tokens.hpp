// The items of a source, in one pass from left to right: plain text, short references, tags,
// closing tags. Where an item stands never depends on what it means, so the driver can take
// several at a time and look their keys up together.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "text/bytes.hpp"

namespace glyphloom::detail {

struct Item {
  enum Kind {
    Plain,      // text outside any reference or tag
    Reference,  // "\:" name; the name is empty when no name byte follows
    Tag,        // "<:" content ">", content not starting with '/' (it may be empty)
    Closing,    // "<:/" key ">"
    Unclosed,   // "<:" without a '>' after it; it runs to the end of the source
    End,        // nothing is left
  };
  Kind kind;
  size_t start;
  size_t end;             // where the next item starts
  std::string_view body;  // the plain text, the name, the content, the key after '/'
  bool spaced;            // of a tag: its content holds a space
  bool ascii;             // of a tag: its content is ASCII
};

class Tokenizer {
 public:
  Tokenizer(std::string_view source, size_t from) noexcept : source_(source), pos_(from) {}
  // The next item, written into `item` in place: an item passed back by value would be stored
  // field by field and read back whole, which stalls the driver on every item.
  void next(Item& item) noexcept;

 private:
  std::string_view source_;
  size_t pos_;
  bool at_opener_ = false;  // the last item was plain text, so an opener starts at pos_
};

namespace tokens {

// A table, as the test runs once per byte of every short reference.
inline constexpr auto kShortNameBytes = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c) {
    table[c] = text::is_name_byte(static_cast<char>(c));
  }
  return table;
}();

inline bool is_short_name_byte(char c) {
  return kShortNameBytes[static_cast<unsigned char>(c)];
}

// Bit i set when byte i of the 16 bytes at `p` is a short-name byte (ASCII letter, digit, '-'
// or '_'), tested all at once.
inline unsigned name_byte_bits(const char* p) {
#if defined(__SSE2__)
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  // Signed comparisons: bytes from 0x80 up are negative, so never in a range.
  const auto within = [](__m128i x, char first, char last) {
    return _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(static_cast<char>(first - 1))),
                         _mm_cmplt_epi8(x, _mm_set1_epi8(static_cast<char>(last + 1))));
  };
  const __m128i folded = _mm_or_si128(v, _mm_set1_epi8(0x20));  // A-Z to a-z; nothing else to a-z
  const __m128i name = _mm_or_si128(
      _mm_or_si128(within(folded, 'a', 'z'), within(v, '0', '9')),
      _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('-')), _mm_cmpeq_epi8(v, _mm_set1_epi8('_'))));
  return static_cast<unsigned>(_mm_movemask_epi8(name));
#else
  unsigned bits = 0;
  for (int i = 0; i < 16; ++i) bits |= unsigned{is_short_name_byte(p[i])} << i;
  return bits;
#endif
}

// The end of the short-reference name that starts at `from`: sixteen bytes at a time where the
// source has them, as most names end within the first sixteen.
inline size_t name_end(std::string_view source, size_t from) {
  size_t end = from;
  for (; source.size() - end >= 16; end += 16) {
    const unsigned length =
        static_cast<unsigned>(std::countr_one(name_byte_bits(source.data() + end)));
    if (length < 16) return end + length;
  }
  while (end < source.size() && is_short_name_byte(source[end])) ++end;
  return end;
}

// The offset of the next "<:" or "\:" at or after `from`, or the size of the source. A colon
// only counts with its opener inside the rest, so the search for colons starts one byte in.
inline size_t next_opener(std::string_view source, size_t from) {
  const char* const begin = source.data();
  size_t at = from + 1;
  while (at < source.size()) {
    const void* colon = std::memchr(begin + at, ':', source.size() - at);
    if (colon == nullptr) break;
    const size_t pos = static_cast<const char*>(colon) - begin;
    if (source[pos - 1] == '<' || source[pos - 1] == '\\') return pos - 1;
    at = pos + 1;
  }
  return source.size();
}

// Where the tag whose content starts at `from` closes (npos when it does not), whether a space
// comes before that and whether every byte before it is ASCII: one pass over sixteen bytes at a
// time where the source has them.
struct TagEnd {
  size_t close;
  bool spaced;
  bool ascii;
};

inline TagEnd tag_end(std::string_view source, size_t from) {
  size_t at = from;
  bool spaced = false, high = false;
#if defined(__SSE2__)
  const __m128i gt = _mm_set1_epi8('>'), space = _mm_set1_epi8(' ');
  for (; source.size() - at >= 16; at += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source.data() + at));
    const unsigned closes = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, gt)));
    const unsigned spaces = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, space)));
    const unsigned highs = static_cast<unsigned>(_mm_movemask_epi8(v));
    if (closes != 0) {
      const unsigned first = static_cast<unsigned>(std::countr_zero(closes));
      const unsigned before = (1u << first) - 1;
      return TagEnd{at + first, spaced || (spaces & before) != 0, !high && (highs & before) == 0};
    }
    spaced = spaced || spaces != 0;
    high = high || highs != 0;
  }
#endif
  const size_t close = source.find('>', at);
  const size_t last = close == std::string_view::npos ? source.size() : close;
  const auto rest = source.substr(at, last - at);
  spaced = spaced || rest.find(' ') != std::string_view::npos;
  high = high || std::any_of(rest.begin(), rest.end(), [](char c) { return c & 0x80; });
  return TagEnd{close, spaced, !high};
}

}  // namespace tokens

inline void Tokenizer::next(Item& item) noexcept {
  using namespace tokens;
  const size_t size = source_.size();
  item.spaced = item.ascii = false;
  if (pos_ >= size) {
    item.kind = Item::End;
    item.start = item.end = size;
    item.body = {};
    return;
  }
  const size_t start = at_opener_ ? pos_ : next_opener(source_, pos_);
  at_opener_ = false;
  item.start = start;
  if (start > pos_) {
    item.kind = Item::Plain;
    item.start = pos_;
    item.end = start;
    item.body = source_.substr(pos_, start - pos_);
    pos_ = start;
    at_opener_ = true;
    return;
  }
  if (source_[start] == '\\') {
    const size_t end = name_end(source_, start + 2);
    item.kind = Item::Reference;
    item.end = pos_ = end;
    item.body = source_.substr(start + 2, end - start - 2);
    return;
  }
  const TagEnd tag = tag_end(source_, start + 2);
  if (tag.close == std::string_view::npos) {
    item.kind = Item::Unclosed;
    item.end = pos_ = size;
    item.body = source_.substr(start);
    return;
  }
  item.end = pos_ = tag.close + 1;
  const auto content = source_.substr(start + 2, tag.close - start - 2);
  if (content.starts_with('/')) {
    item.kind = Item::Closing;
    item.body = content.substr(1);
    return;
  }
  item.kind = Item::Tag;
  item.body = content;
  item.spaced = tag.spaced;
  item.ascii = tag.ascii;
}

}  // namespace glyphloom::detail
