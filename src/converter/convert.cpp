// The conversion driver: header, plain text and blocks, short references, tags.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "glyphloom/glyphloom.hpp"
#include "glyphloom/meta.hpp"
#include "index/hash_word.hpp"
#include "index/search.hpp"
#include "internal.hpp"

namespace glyphloom {

namespace {

bool supported_version(std::string_view version) {
  if (!version.starts_with(kVersionPrefix)) return false;
  const auto number = version.substr(kVersionPrefix.size());
  return !number.empty() && number.find_first_not_of("0123456789") == std::string_view::npos;
}

// A table, as the test runs once per byte of every short reference.
constexpr auto kShortNameBytes = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c) {
    table[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_';
  }
  return table;
}();

bool is_short_name_byte(char c) {
  return kShortNameBytes[static_cast<unsigned char>(c)];
}

// The end of the short-reference name that starts at `from`, and its text_hash.
struct Name {
  size_t end;
  uint32_t hash;
};

// Bit i set when byte i of the 16 bytes at `p` is a short-name byte (ASCII letter, digit, '-'
// or '_'), tested all at once.
unsigned name_byte_bits(const char* p) {
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

// A name shorter than 16 bytes, with 16 bytes to read, is scanned and hashed as two words
// without a branch on its bytes: the name ends at the first byte that is no name byte, the bytes
// past it are cleared, and the hash of the 16 bytes, 31^(16 - length) times the name's, is
// scaled back. Other names go byte by byte.
Name scan_name(std::string_view source, size_t from) {
  if (source.size() - from >= 16) {
    const unsigned bits = name_byte_bits(source.data() + from);
    const unsigned length = static_cast<unsigned>(std::countr_one(bits));
    if (length < 16) {
      // The name's bytes of each word: all of them, the first `length` ones, or none.
      constexpr uint64_t kKeep[9] = {0,
                                     0xFFULL,
                                     0xFFFFULL,
                                     0xFFFFFFULL,
                                     0xFFFFFFFFULL,
                                     0xFFFFFFFFFFULL,
                                     0xFFFFFFFFFFFFULL,
                                     0xFFFFFFFFFFFFFFULL,
                                     ~0ULL};
      const uint64_t w0 = detail::load_word(source.data() + from) & kKeep[length < 8 ? length : 8];
      const uint64_t w1 =
          detail::load_word(source.data() + from + 8) & kKeep[length < 8 ? 0 : length - 8];
      const uint32_t padded =
          detail::hash_word(w0) * detail::kHashPowers.up[8] + detail::hash_word(w1);
      return Name{from + length, padded * detail::kHashPowers.down[16 - length]};
    }
  }
  size_t end = from;
  while (end < source.size() && is_short_name_byte(source[end])) ++end;
  return Name{end, text_hash(source.substr(from, end - from))};
}

// The offset of the next "<:" or "\:" at or after `from`, or the size of the source. A colon
// only counts with its opener inside the rest, so the search for colons starts one byte in.
size_t next_tag(std::string_view source, size_t from) {
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

// The converted text. A short piece is copied as one fixed-size move (no branch on its length)
// when that many bytes may be read where it starts, which holds for pieces of the source or of
// the image away from their ends; the move writes into a spare stretch kept past the text's end.
// The spare stretch is made (and zero-filled) a few kilobytes at a time, so a long piece, such as
// a whole plain text, is copied once and nothing else.
class Output {
 public:
  // The spare stretch grows with the source, so a short conversion allocates little.
  explicit Output(size_t expected) : spare_(std::clamp(expected, kMove, kMaxSpare)) {
    buffer_.reserve(expected + spare_);
  }

  // `piece`, which may be read up to `readable` (its buffer's end).
  void append(std::string_view piece, const char* readable) {
    if (piece.size() <= kMove && readable - piece.data() >= static_cast<ptrdiff_t>(kMove)) {
      if (buffer_.size() - size_ < kMove) buffer_.resize(size_ + spare_);
      std::memcpy(buffer_.data() + size_, piece.data(), kMove);
      size_ += piece.size();
      return;
    }
    *this += piece;
  }

  Output& operator+=(std::string_view piece) {
    if (buffer_.size() - size_ >= piece.size()) {
      std::memcpy(buffer_.data() + size_, piece.data(), piece.size());
    } else {
      buffer_.resize(size_);
      buffer_.append(piece);
    }
    size_ += piece.size();
    return *this;
  }

  std::string take() && {
    buffer_.resize(size_);
    return std::move(buffer_);
  }

 private:
  static constexpr size_t kMove = 32;
  static constexpr size_t kMaxSpare = 4096;

  size_t spare_;
  std::string buffer_;
  size_t size_ = 0;  // of the text; the buffer holds the spare stretch after it
};

struct Block {
  std::string_view modifier;
  bool group;
};

// Where the tag whose content starts at `from` closes (npos when it does not), and whether a space
// comes before that: the two searches the driver makes in a tag, done as one pass over sixteen
// bytes at a time where the source has them.
struct TagEnd {
  size_t close;
  bool spaced;
  bool ascii;  // no byte before the close is from 0x80 up
};

TagEnd scan_tag(std::string_view source, size_t from) {
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

// The references and tags ahead of the driver, found as the driver will find them (where they
// stand does not depend on what they mean), with the lower bounds of their keys in Names searched
// as one batch: a single search waits on each of its reads in turn, a batch overlaps them. The
// driver finishes each lookup it makes from the lower bound, so it gets the results, and meets
// any fault of the image, as it would looking the keys up one at a time.
class Lookahead {
 public:
  // A reference or a tag, as the driver reads it.
  struct Item {
    size_t start;
    size_t end;    // where the driver goes on after it (the source's end for an unclosed tag)
    size_t close;  // of a tag: its '>', or npos
    bool spaced;   // of a tag: its content holds a space
    bool ascii;    // of a tag: its content is ASCII
    size_t first;  // its first key in hashes_ and bounds_
    size_t keys;
  };

  Lookahead(const Index& index, std::string_view source) : index_(index), source_(source) {}

  // next_tag(source, pos): known when `pos` ends the item the driver is at.
  size_t next(size_t pos) {
    if (next_ + 1 < count_ && items_[next_].end == pos) return items_[++next_].start;
    return next_tag(source_, pos);
  }

  // The reference or tag at `start`, or nothing when the index is searched one key at a time.
  const Item* at(size_t start) {
    // The table is found at the first item: plain text needs none.
    if (!viewed_) {
      viewed_ = true;
      if (!index_.is_chunked()) names_ = detail::table_view(index_.whole().bytes(), Table::Names);
    }
    if (!names_.records) return nullptr;
    while (next_ < count_ && items_[next_].start < start) ++next_;
    if (next_ == count_ || items_[next_].start != start) {
      fill(start);
      if (count_ == 0 || items_[0].start != start) return nullptr;
    }
    return &items_[next_];
  }

  // The Names entry of `key`: for a reference its name (`which` 0); for a tag, the content
  // followed by a space (0) or with dashes for its spaces (1). `key_valid`: it is UTF-8.
  std::optional<Entry> entry(const Item* item, size_t which, std::string_view key,
                             bool key_valid = false) {
    if (item && which < item->keys) {
      const size_t k = item->first + which;
      return detail::entry_from(names_, key, hashes_[k], bounds_[k], key_valid);
    }
    return index_.entry(Table::Names, key);
  }

  // `entry` of the key `head` followed by `tail`.
  std::optional<Entry> joined_entry(const Item* item, size_t which, std::string_view head,
                                    std::string_view tail) {
    if (item && which < item->keys) {
      const size_t k = item->first + which;
      return detail::entry_from(names_, head, tail, hashes_[k], bounds_[k]);
    }
    return index_.entry(Table::Names, detail::Key{head, tail});
  }

  // How far a text of an entry found for `item` may be read: the image's end when it is from the
  // batch, the text's own end otherwise.
  const char* readable(const Item* item, std::string_view text) const {
    return item ? names_.image.data() + names_.image.size() : text.data() + text.size();
  }

  // The content of a tag with dashes for its spaces, as `tag` first looks it up.
  std::string_view dashed(const Item* item, std::string_view content) {
    if (item ? !item->spaced : content.find(' ') == std::string_view::npos) return content;
    return dashed_.emplace(std::initializer_list<std::string_view>{content}).replace(' ', '-');
  }

 private:
  static constexpr size_t kItems = detail::kMaxBatch;

  // The items from the opener at `start` on, as the driver steps from one to the next, and the
  // lower bounds of all their keys.
  void fill(size_t start) {
    const size_t size = source_.size();
    size_t keys = 0;
    count_ = next_ = 0;
    for (size_t at = start; at < size && count_ < kItems && keys + 2 <= detail::kMaxBatch;) {
      Item& item = items_[count_++];
      item = Item{at, size, std::string_view::npos, false, false, keys, 0};
      if (source_[at] == '\\') {
        const Name name = scan_name(source_, at + 2);
        item.end = name.end;
        hashes_[keys++] = name.hash;
        item.keys = 1;
      } else {
        const TagEnd tag = scan_tag(source_, at + 2);
        if (tag.close == std::string_view::npos) break;  // the driver stops here
        item.close = tag.close;
        item.spaced = tag.spaced;
        item.ascii = tag.ascii;
        item.end = tag.close + 1;
        const auto content = source_.substr(at + 2, tag.close - at - 2);
        if (!content.empty() && content.front() != '/') {
          const uint32_t h = text_hash(content);
          uint32_t dashed = h;
          if (tag.spaced) {
            dashed = 0;
            for (const char c : content) {
              dashed = dashed * 31u + static_cast<uint8_t>(c == ' ' ? '-' : c);
            }
          }
          hashes_[keys++] = h * 31u + ' ';
          hashes_[keys++] = dashed;
          item.keys = 2;
        }
      }
      at = next_tag(source_, item.end);
    }
    detail::lower_bounds(names_, hashes_, bounds_, keys);
  }

  const Index& index_;
  const std::string_view source_;
  detail::TableView names_{};
  bool viewed_ = false;
  Item items_[kItems];
  size_t count_ = 0;
  size_t next_ = 0;
  uint32_t hashes_[detail::kMaxBatch];
  size_t bounds_[detail::kMaxBatch];
  std::optional<detail::Key> dashed_;
};

}  // namespace

Result<Converted> Glyphloom::convert(std::string_view source, WarningMode mode) const {
  auto located = convert_located(source, mode);
  if (auto* failure = std::get_if<Failure>(&located)) return std::move(failure->error);
  return std::move(std::get<Converted>(located));
}

std::variant<Converted, Failure> Glyphloom::convert_located(std::string_view source,
                                                            WarningMode mode) const {
  static const std::vector<std::string_view> kNoEffects;
  warnings_.clear();
  unlisted_ = 0;
  Output out(source.size());
  const char* const source_end = source.data() + source.size();
  std::optional<Block> block;
  Lookahead ahead(index_, source);
  std::optional<Entry> found;

  size_t pos = 0;
  if (const auto head = header(source)) {
    if (!head->version.empty() && !supported_version(head->version)) {
      warn(detail::fill("unsupported glyphloom version {}", {head->version}), 0);
    }
    pos = head->length;
  }

  while (pos < source.size()) {
    const size_t start = ahead.next(pos);
    const auto plain = source.substr(pos, start - pos);
    if (!block) {
      out.append(plain, source_end);
    } else if (block->group) {
      out += operands(block->modifier, plain, kNoEffects, pos);
    } else {
      // Word by word; each whitespace character ends a word and is kept as it is.
      size_t word = 0;
      for (size_t i = 0; i < plain.size();) {
        const detail::Char c = detail::char_at(plain, i);
        if (utf8::is_white_space(c.cp)) {
          out += operand(block->modifier, plain.substr(word, i - word), kNoEffects, pos);
          out += plain.substr(i, c.length);
          word = i + c.length;
        }
        i += c.length;
      }
      if (word < plain.size()) {
        out += operand(block->modifier, plain.substr(word), kNoEffects, pos);
      }
    }
    if (start == source.size()) break;

    const auto* item = ahead.at(start);
    if (source[start] == '\\') {
      size_t end = start + 2;
      if (item) {
        end = item->end;
      } else {
        while (end < source.size() && is_short_name_byte(source[end])) ++end;
      }
      const auto name = source.substr(start + 2, end - start - 2);
      // The name's bytes are ASCII, so UTF-8.
      if (const auto found = ahead.entry(item, 0, name, true)) {
        out.append(found->text, ahead.readable(item, found->text));
      } else {
        auto kept_text =
            kept(UnknownEntity{std::string(name)}, source.substr(start, end - start), start, mode);
        if (auto* error = std::get_if<Error>(&kept_text)) return Failure{std::move(*error), start};
        out += std::get<std::string>(kept_text);
      }
      pos = end;
      continue;
    }

    const size_t close = item ? item->close : source.find('>', start + 2);
    if (close == std::string_view::npos) {
      const auto rest = source.substr(start);
      auto kept_text = kept(Unclosed{std::string(rest)}, rest, start, mode);
      if (auto* error = std::get_if<Error>(&kept_text)) return Failure{std::move(*error), start};
      out += std::get<std::string>(kept_text);
      break;
    }
    const auto content = source.substr(start + 2, close - start - 2);
    pos = close + 1;
    if (content.empty()) {
      block.reset();
    } else if (content.front() == '/') {
      const auto key = content.substr(1);
      if (index_.entry(Table::Templates, key)) {
        out += Meta{MetaKind::Close, std::string(key), {}}.tags();
      } else {
        // Any closing tag that is no meta ends the block, whatever its name.
        block.reset();
      }
    } else if (ahead.joined_entry(item, 0, content, " ")) {
      block = Block{content, has_name(detail::Key{content, " *group"})};
    } else if (content.size() > 1 &&
               (found = ahead.entry(item, 1, ahead.dashed(item, content), item && item->ascii))) {
      // What `tag` finds first, the whole name, from the batch.
      out.append(found->text, ahead.readable(item, found->text));
    } else {
      auto resolved = content.size() > 1 ? tag_parts(content, start) : tag(content, start);
      if (auto* error = std::get_if<Error>(&resolved)) {
        resolved = kept(std::move(*error), source.substr(start, close + 1 - start), start, mode);
        if (auto* kept_error = std::get_if<Error>(&resolved)) {
          return Failure{std::move(*kept_error), start};
        }
      }
      out += std::get<std::string>(resolved);
    }
  }

  if (unlisted_ > 0) {
    warnings_.back().message =
        detail::fill("{} more warnings not listed", {std::to_string(unlisted_)});
  }
  std::vector<Warning> warnings = std::exchange(warnings_, {});
  if (mode == WarningMode::Error && !warnings.empty()) {
    const size_t byte = warnings.front().byte;
    return Failure{Unsupported{std::move(warnings.front())}, byte};
  }
  return Converted{std::move(out).take(), std::move(warnings)};
}

}  // namespace glyphloom
