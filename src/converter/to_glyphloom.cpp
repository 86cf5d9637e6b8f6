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
#include <unordered_map>
#include <vector>

#include "glyphloom/glyphloom.hpp"
#include "glyphloom/index.hpp"
#include "glyphloom/meta.hpp"
#include "internal.hpp"
#include "meta/tag_runs.hpp"
#include "text/ascii.hpp"
#include "text/markup.hpp"

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
  // Eight bytes at a time while none of them needs the steps.
  pos = text::skip_words(text, pos, [](uint64_t word) {
    return (word & text::kHighBits) != 0 || text::has_byte(word, '<') || text::has_byte(word, '\\');
  });
  const size_t size = text.size();
  while (pos < size && !needs_steps(byte_at(text, pos))) ++pos;
  return pos;
}

class Unparser {
 public:
  Unparser(const Glyphloom& converter, std::string_view text)
      : converter_(converter), index_(converter.index()), text_(text) {
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
    const size_t start = pos_ - c.bytes.size();
    const auto spelling = spelling_of(c);
    const auto name = spelling ? text::bracketed_name(*spelling) : std::nullopt;
    const size_t name_words = name ? std::count(name->begin(), name->end(), ' ') : 0;
    const size_t max_effects =
        name_words < detail::kMaxTagModifiers ? detail::kMaxTagModifiers - name_words : 0;
    found_effects_.clear();
    effect_ends_.clear();
    while (pos_ < size && byte_at(text_, pos_) >= 0x80 && found_effects_.size() < max_effects) {
      const utf8::Decoded next = utf8::decode(text_, pos_);
      if (next.cp == kReplacement && next.length == 1) break;
      const auto effect = index_.get(Table::Effects, text_.substr(pos_, next.length));
      if (!effect) break;
      found_effects_.push_back(*effect);
      pos_ += next.length;
      effect_ends_.push_back(pos_);
    }

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
    const size_t end = pos_;
    const size_t all = found_effects_.size();
    if (all == 0 && metas_.empty()) {
      out_ += spelling.value_or(c.bytes);
      return;
    }

    // What a character and the suffixes and metas after it are written as depends on those
    // bytes alone, and text repeats them (every emoji with its selector): each is tried once.
    const std::string_view span = text_.substr(start, end - start);
    if (const auto known = decided_.find(span); known != decided_.end()) {
      out_ += known->second.markup;
      pos_ = start + known->second.length;
      return;
    }
    const size_t written = out_.size();
    fold(c, spelling, start, end);
    if (decided_.size() < kMaxDecided) {
      decided_.emplace(std::string(span), Decided{out_.substr(written), pos_ - start});
    }
  }

  // Writes `c` and what of [its end, end) folds into its tag, and moves the cursor past that.
  void fold(const Character& c, std::optional<std::string_view> spelling, size_t start,
            size_t end) {
    const size_t all = found_effects_.size();

    // A tag is written only where it converts back to exactly the characters it replaces: an
    // effect whose suffix differs in this character's script, or words that join into another
    // name, would change the text. Then fewer effects are folded, the longest run from the first
    // that still converts back, and the characters after them get steps of their own. The first
    // rejected count ends the search, so a character costs a bounded number of trials.
    if (folds(c, spelling, start, all, metas_.size(), end)) return;
    if (all > 0 && !metas_.empty() && folds(c, spelling, start, all, 0, effect_ends_[all - 1])) {
      return;
    }
    size_t best = 0;
    for (size_t j = 1; j < all && converts_back(c, spelling, start, j, 0, effect_ends_[j - 1]);
         ++j) {
      best = j;
      best_.swap(trial_);
    }
    if (best > 0) {
      out_ += best_;
      pos_ = effect_ends_[best - 1];
      return;
    }
    pos_ = start + c.bytes.size();
    out_ += spelling.value_or(c.bytes);
  }

  // Whether the tag of `c` with its first `effects` effects and first `metas` metas converts
  // back to text_[start, end); when it does, it is written and the cursor moves to `end`.
  bool folds(const Character& c, std::optional<std::string_view> spelling, size_t start,
             size_t effects, size_t metas, size_t end) {
    if (!converts_back(c, spelling, start, effects, metas, end)) return false;
    out_ += trial_;
    pos_ = end;
    return true;
  }

  bool converts_back(const Character& c, std::optional<std::string_view> spelling, size_t start,
                     size_t effects, size_t metas, size_t end) {
    // The tag applies its last word first: the effect whose suffix came first goes last, so the
    // tag converts back to the suffixes in their order.
    effects_.assign(found_effects_.begin(), found_effects_.begin() + effects);
    if (effects_.size() > 1) std::rotate(effects_.begin(), effects_.begin() + 1, effects_.end());
    trial_.clear();
    write_tag(trial_, c, spelling, metas);
    // Warnings count as a difference too, so that the markup converts back in every mode.
    const auto result = converter_.convert(trial_, WarningMode::Warn);
    const auto* converted = std::get_if<Converted>(&result);
    return converted && converted->warnings.empty() &&
           converted->text == text_.substr(start, end - start);
  }

  bool foldable(const Character& c) {
    if (c.cp != '>' && !utf8::is_white_space(c.cp)) return true;
    const auto spelling = spelling_of(c);
    return spelling && text::bracketed_name(*spelling);
  }

  // Text repeats its characters (a script's letters, the same emoji), so the last spelling found
  // for each of a few hundred code point slots is kept: a repeat costs no lookup.
  std::optional<std::string_view> spelling_of(const Character& c) {
    if (c.literal) return std::nullopt;
    Remembered& slot = spellings_[(c.cp ^ (c.cp >> 8)) % kRemembered];
    if (slot.cp != c.cp) slot = Remembered{c.cp, index_.get(Table::Spellings, c.bytes)};
    return slot.spelling;
  }

  // The character's spelling, or the character itself.
  void write_plain(const Character& c) { out_ += spelling_of(c).value_or(c.bytes); }

  // One tag: the attached metas' words, the effect words, then the character's name.
  void write_tag(std::string& out, const Character& c, std::optional<std::string_view> spelling,
                 size_t metas) const {
    const auto inner = spelling ? text::bracketed_name(*spelling) : std::nullopt;
    // A spelling of another shape names nothing an effect could be put before; with metas alone
    // it is used whole.
    std::string_view name = c.bytes;
    if (inner) {
      name = *inner;
    } else if (spelling && effects_.empty()) {
      name = *spelling;
    }
    out += "<:";
    for (size_t m = 0; m < metas; ++m) {
      out += metas_[m].key;
      out += ' ';
      out += metas_[m].value;
      out += ' ';
    }
    for (const std::string_view effect : effects_) {
      out += effect;
      out += ' ';
    }
    out += name;
    out += '>';
  }

  const Glyphloom& converter_;
  const Index& index_;
  const std::string_view text_;
  size_t pos_ = 0;
  std::string out_;
  detail::TagRuns tag_runs_;
  // Reused across characters so the steps allocate only when effects or metas are found.
  std::vector<std::string_view> found_effects_;
  std::vector<size_t> effect_ends_;        // the cursor after each of found_effects_
  std::vector<std::string_view> effects_;  // those of the tag being tried, in tag order
  std::vector<Meta> metas_;
  // Outcomes of `fold` by the bytes it was given, a bounded number of them.
  struct Decided {
    std::string markup;
    size_t length;  // of the text it stands for
  };
  struct SpanHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept {
      return std::hash<std::string_view>{}(s);
    }
  };
  static constexpr size_t kMaxDecided = 4096;
  std::unordered_map<std::string, Decided, SpanHash, std::equal_to<>> decided_;
  struct Remembered {
    char32_t cp = 0;  // U+0000 is ASCII, so never looked up: an empty slot
    std::optional<std::string_view> spelling;
  };
  static constexpr size_t kRemembered = 509;
  Remembered spellings_[kRemembered];
  std::string trial_;  // the tag being tried
  std::string best_;   // the longest tag tried that converts back
};

}  // namespace

std::string Glyphloom::to_glyphloom(std::string_view text) const {
  return Unparser(*this, text).run();
}

}  // namespace glyphloom
