// Text back to markup. One pass, left to right: runs of ASCII that need nothing are copied in
// bulk, every other character goes through `Unparser::step`.
//
// ASCII is always written as itself: it is never looked up in the Spellings table and is never
// an effect character (effect suffixes are variation selectors, TAG characters and Egyptian
// controls). That is what lets plain ASCII be copied without a lookup per character.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "glyphloom/glyphloom.hpp"
#include "glyphloom/index.hpp"
#include "glyphloom/meta.hpp"
#include "internal.hpp"
#include "meta/tag_runs.hpp"

namespace glyphloom {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

uint8_t byte_at(std::string_view s, size_t i) noexcept {
  return static_cast<uint8_t>(s[i]);
}

// '<' and '\' may need a colon escape; a byte from 0x80 up starts a character that may be
// spelled, be an effect or start a meta.
bool needs_steps(uint8_t b) noexcept {
  return b == '<' || b == '\\' || b >= 0x80;
}

// The first offset at or after `pos` whose byte needs the full steps, or the size of the text.
size_t plain_ascii_end(std::string_view text, size_t pos) noexcept {
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHighs = 0x8080808080808080ULL;
  const size_t size = text.size();
  // Eight bytes at a time: a word holds a wanted byte when a byte has its high bit set or equals
  // '<' or '\' (a zero byte of the word xor-ed with that byte repeated).
  while (size - pos >= 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + pos, sizeof word);
    const uint64_t lt = word ^ (kOnes * '<');
    const uint64_t bs = word ^ (kOnes * '\\');
    if ((word | ((lt - kOnes) & ~lt) | ((bs - kOnes) & ~bs)) & kHighs) break;
    pos += 8;
  }
  while (pos < size && !needs_steps(byte_at(text, pos))) ++pos;
  return pos;
}

// The name inside a spelling "<:" name ">", or nothing for a text of another shape.
std::optional<std::string_view> bracketed_name(std::string_view text) noexcept {
  if (text.size() < 3 || !text.starts_with("<:") || !text.ends_with('>')) return std::nullopt;
  return text.substr(2, text.size() - 3);
}

class Unparser {
 public:
  Unparser(const Index& index, std::string_view text) : index_(index), text_(text) {
    out_.reserve(text.size());
  }

  std::string run() && {
    const size_t size = text_.size();
    while (pos_ < size) {
      const size_t plain = plain_ascii_end(text_, pos_);
      if (plain == size || byte_at(text_, plain) < 0x80 || plain == pos_) {
        out_.append(text_, pos_, plain - pos_);
        pos_ = plain;
      } else {
        // An effect or attached meta after the last of these characters is folded into its
        // tag, so that character goes through the steps.
        out_.append(text_, pos_, plain - 1 - pos_);
        pos_ = plain - 1;
      }
      if (pos_ < size) step();
    }
    return std::move(out_);
  }

 private:
  struct Character {
    std::string_view bytes;
    char32_t cp;
    // ASCII, or a byte that is no UTF-8: written as it stands, never looked up.
    bool literal;
  };

  bool known_key(std::string_view key) const {
    return index_.entry(Table::Templates, key).has_value();
  }

  // Writes the character at the cursor, with what follows it that belongs to its tag.
  void step() {
    const size_t size = text_.size();
    if (tag_runs_.may_hold_meta(text_, pos_)) {
      const auto found = meta_at(text_.substr(pos_));
      // An attached meta here follows nothing that could take it (the start of the text, a
      // meta, an emoji tag sequence, a character written alone): its TAG characters are written
      // as characters.
      if (found && found->meta.kind != MetaKind::Attached && known_key(found->meta.key)) {
        const Meta& meta = found->meta;
        if (meta.kind == MetaKind::Open) {
          out_ += "<:";
          out_ += meta.key;
          out_ += ' ';
          out_ += meta.value;
        } else {
          out_ += "<:/";
          out_ += meta.key;
        }
        out_ += '>';
        pos_ += found->length;
        return;
      }
    }

    const utf8::Decoded decoded = utf8::decode(text_, pos_);
    const Character c{text_.substr(pos_, decoded.length), decoded.cp,
                      decoded.cp < 0x80 || (decoded.cp == kReplacement && decoded.length == 1)};
    pos_ += decoded.length;

    // "<:" and "\:" would open a tag or a short reference; "<::>" reads back as ":".
    if ((c.cp == '<' || c.cp == '\\') && pos_ < size && text_[pos_] == ':') {
      out_ += c.bytes;
      out_ += "<::>";
      ++pos_;
      return;
    }

    if (tag_runs_.may_hold_emoji_tags(text_, pos_)) {
      if (const auto length = emoji_tags_at(text_.substr(pos_))) {
        write_plain(c);
        out_.append(text_, pos_, *length);
        pos_ += *length;
        return;
      }
    }

    // A tag cannot hold a lone ">" (it would end the tag) or white space (it would split the
    // tag's words), so such a character is written alone and what follows it gets steps of its
    // own: effect characters and attached metas are then spelled as characters, which converts
    // back to the same text.
    if (!foldable(c)) {
      write_plain(c);
      return;
    }

    // A tag takes a bounded number of modifiers and of attached meta bytes (the converter
    // refuses more), so only that many are folded into this one; the characters after them
    // start tags of their own and still convert back.
    const auto spelling = spelling_of(c);
    const auto name = spelling ? bracketed_name(*spelling) : std::nullopt;
    const size_t name_words = name ? std::count(name->begin(), name->end(), ' ') : 0;
    const size_t max_effects =
        name_words < detail::kMaxTagModifiers ? detail::kMaxTagModifiers - name_words : 0;
    effects_.clear();
    while (pos_ < size && byte_at(text_, pos_) >= 0x80 && effects_.size() < max_effects) {
      const utf8::Decoded next = utf8::decode(text_, pos_);
      if (next.cp == kReplacement && next.length == 1) break;
      const auto effect = index_.get(Table::Effects, text_.substr(pos_, next.length));
      if (!effect) break;
      effects_.push_back(*effect);
      pos_ += next.length;
    }
    // The tag applies its last word first: the effect whose suffix came first goes last, so the
    // tag converts back to the suffixes in their order.
    if (effects_.size() > 1) std::rotate(effects_.begin(), effects_.begin() + 1, effects_.end());

    metas_.clear();
    size_t meta_bytes = 0;
    while (tag_runs_.may_hold_meta(text_, pos_)) {
      auto found = meta_at(text_.substr(pos_));
      if (!found || found->meta.kind != MetaKind::Attached || !known_key(found->meta.key)) break;
      if (found->length > detail::kMaxAttachedTagBytes - meta_bytes) break;
      meta_bytes += found->length;
      metas_.push_back(std::move(found->meta));
      pos_ += found->length;
    }

    if (effects_.empty() && metas_.empty()) {
      out_ += spelling.value_or(c.bytes);
    } else {
      write_tag(c, spelling);
    }
  }

  bool foldable(const Character& c) const {
    if (c.cp != '>' && !utf8::is_white_space(c.cp)) return true;
    const auto spelling = spelling_of(c);
    return spelling && bracketed_name(*spelling);
  }

  std::optional<std::string_view> spelling_of(const Character& c) const {
    if (c.literal) return std::nullopt;
    return index_.get(Table::Spellings, c.bytes);
  }

  // The character's spelling, or the character itself.
  void write_plain(const Character& c) { out_ += spelling_of(c).value_or(c.bytes); }

  // One tag: the attached metas' words, the effect words, then the character's name.
  void write_tag(const Character& c, std::optional<std::string_view> spelling) {
    const auto inner = spelling ? bracketed_name(*spelling) : std::nullopt;
    // A spelling of another shape names nothing an effect could be put before; with metas alone
    // it is used whole.
    std::string_view name = c.bytes;
    if (inner) {
      name = *inner;
    } else if (spelling && effects_.empty()) {
      name = *spelling;
    }
    out_ += "<:";
    for (const Meta& meta : metas_) {
      out_ += meta.key;
      out_ += ' ';
      out_ += meta.value;
      out_ += ' ';
    }
    for (const std::string_view effect : effects_) {
      out_ += effect;
      out_ += ' ';
    }
    out_ += name;
    out_ += '>';
  }

  const Index& index_;
  const std::string_view text_;
  size_t pos_ = 0;
  std::string out_;
  detail::TagRuns tag_runs_;
  // Reused across characters so the steps allocate only when metas are found.
  std::vector<std::string_view> effects_;
  std::vector<Meta> metas_;
};

}  // namespace

std::string Glyphloom::to_glyphloom(std::string_view text) const {
  return Unparser(index_, text).run();
}

}  // namespace glyphloom
