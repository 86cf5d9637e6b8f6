// Operands: what follows the modifiers of a tag, or the words of an open block, converted under
// one modifier; group modifiers compose their operands into one ideographic or hieroglyphic
// group.
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "glyphloom/glyphloom.hpp"
#include "glyphloom/meta.hpp"
#include "internal.hpp"
#include "steps.hpp"

namespace glyphloom {

namespace {

struct Form {
  std::string_view text;
  size_t length;  // bytes of the base it covers: one character, or a pair
  char32_t first;
};

// The form under `modifier` of the character at `i` of `base`: of the pair that starts there
// first, then of the character alone. `key` holds "modifier " and is reused for the lookups.
std::optional<Form> form_at(const Index& index, detail::Key& key, size_t stem,
                            std::string_view base, size_t i) {
  const detail::Char c = detail::char_at(base, i);
  if (i + c.length < base.size()) {
    const size_t pair = c.length + detail::char_at(base, i + c.length).length;
    key.truncate(stem);
    key += base.substr(i, pair);
    if (const auto text = index.get(Table::Names, key)) return Form{*text, pair, c.cp};
  }
  key.truncate(stem);
  key += base.substr(i, c.length);
  if (const auto text = index.get(Table::Names, key)) return Form{*text, c.length, c.cp};
  return std::nullopt;
}

bool has_every_form(const Index& index, detail::Key& key, size_t stem, std::string_view base) {
  for (size_t i = 0; i < base.size();) {
    const auto form = form_at(index, key, stem, base, i);
    if (!form) return false;
    i += form->length;
  }
  return true;
}

}  // namespace

std::string detail::operand(const Glyphloom& converter, std::string_view modifier,
                            std::string_view word, const std::vector<std::string_view>& effects,
                            size_t byte) {
  const Index& index_ = converter.index();
  // "modifier word": the key of a composed character, and the stem of the character lookups.
  detail::Key key{modifier, " ", word};
  if (const auto composed = index_.get(Table::Names, key)) {
    const char32_t first = composed->empty() ? U' ' : detail::char_at(*composed, 0).cp;
    return std::string(*composed) + converter.effect_suffixes(effects, first, byte);
  }

  const size_t stem = modifier.size() + 1;
  std::string_view base = word;
  // A single byte is always a literal character, never the name of one.
  if (word.size() > 1) {
    if (const auto text = index_.get(Table::Names, word)) {
      base = *text;
      // A word that happens to name a symbol ("and" is ∧, "sun" is ☉) keeps its own letters
      // under a style that has no form of that symbol but has one of each letter: the writer
      // meant the word. Effects apply to any character, so they keep the named base.
      if (!is_effect(converter, modifier) && !has_every_form(index_, key, stem, base) &&
          has_every_form(index_, key, stem, word)) {
        base = word;
      }
    }
  }

  std::string out;
  for (size_t i = 0; i < base.size();) {
    if (const auto form = form_at(index_, key, stem, base, i)) {
      out += form->text;
      out += converter.effect_suffixes(effects, form->first, byte);
      i += form->length;
      continue;
    }
    const detail::Char c = detail::char_at(base, i);
    const auto ch = base.substr(i, c.length);
    if (suffix_of(converter, modifier, c.cp)) {
      // The modifier is an effect for this character: it goes first among the effects. A tag
      // has at most kMaxTagModifiers of them and a block none; only a longer list, which no
      // conversion makes, is copied to the heap.
      std::string_view stack[detail::kMaxTagModifiers + 1];
      std::vector<std::string_view> heap;
      if (effects.size() > detail::kMaxTagModifiers) heap.resize(effects.size() + 1);
      const std::span<std::string_view> all =
          heap.empty() ? std::span<std::string_view>(stack, effects.size() + 1)
                       : std::span<std::string_view>(heap);
      all[0] = modifier;
      std::copy(effects.begin(), effects.end(), all.begin() + 1);
      out += ch;
      out += detail::effect_suffixes_of(converter, all, c.cp, byte);
    } else {
      converter.warn(detail::fill("no {} form of {}", {modifier, ch}), byte);
      out += ch;
      out += converter.effect_suffixes(effects, c.cp, byte);
    }
    i += c.length;
  }
  return out;
}

std::string detail::operands(const Glyphloom& converter, std::string_view modifier,
                             std::string_view text, const std::vector<std::string_view>& effects,
                             size_t byte) {
  const Index& index_ = converter.index();
  // The whole run as one dashed name, with any whitespace between its words.
  detail::Key joined{};
  bool in_word = false;
  for (size_t i = 0; i < text.size();) {
    const detail::Char c = detail::char_at(text, i);
    if (utf8::is_white_space(c.cp)) {
      in_word = false;
    } else {
      if (!in_word && joined.size() > 0) joined += '-';
      in_word = true;
      joined += text.substr(i, c.length);
    }
    i += c.length;
  }
  if (joined.view().find('-') != std::string_view::npos &&
      has_name(index_, detail::Key{modifier, " ", joined})) {
    return operand(converter, modifier, joined, effects, byte);
  }

  const bool group = has_name(index_, detail::Key{modifier, " *group"});
  std::string out;
  bool first = true;
  std::optional<std::string_view> infix;
  detail::SpacePieces pieces(text);
  while (const auto next = pieces.next()) {
    const std::string_view piece = *next;
    if (piece.empty()) continue;

    std::string x;
    if (group) {
      // Group operands are names or literal characters; effects never reach them.
      std::optional<std::string_view> named;
      if (piece.size() > 1) named = index_.get(Table::Names, piece);
      x = named.value_or(piece);
    } else {
      x = operand(converter, modifier, piece, effects, byte);
    }

    if (first) {
      first = false;
      // The first piece's script decides the prefix and the infixes of the whole group.
      const auto script =
          x.empty() ? std::string_view() : detail::script_word(detail::char_at(x, 0).cp);
      infix = index_.get(Table::Names, detail::Key{modifier, " *infix ", script});
      if (const auto prefix =
              index_.get(Table::Names, detail::Key{modifier, " *prefix ", script})) {
        out += *prefix;
      } else if (group && !infix) {
        converter.warn(detail::fill("no {} group of {}", {modifier, x}), byte);
      }
    } else if (infix) {
      out += *infix;
    }
    out += x;
  }
  return out;
}

}  // namespace glyphloom
