// Entity tags: the content of one <:...> resolved to text, by whole name, leading metas, or
// modifiers applied to operands.
#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "glyphloom/glyphloom.hpp"
#include "glyphloom/meta.hpp"
#include "internal.hpp"
#include "steps.hpp"
#include "text/bytes.hpp"

namespace glyphloom {

namespace {

bool is_name_word(std::string_view piece) {
  return std::all_of(piece.begin(), piece.end(), text::is_name_byte);
}

// The text after attached metas when it is not one tag: each space-separated name word as a tag
// of its own, anything else literally, with nothing between them.
Result<std::string> meta_operands(const Glyphloom& converter, std::string_view text, size_t byte) {
  std::string out;
  detail::SpacePieces pieces(text);
  while (const auto next = pieces.next()) {
    const std::string_view piece = *next;
    if (piece.size() > 1 && is_name_word(piece)) {
      auto resolved = detail::tag(converter, piece, byte);
      if (auto* error = std::get_if<Error>(&resolved)) return std::move(*error);
      out += std::get<std::string>(resolved);
    } else {
      out += piece;
    }
  }
  return out;
}

}  // namespace

Result<std::string> detail::tag(const Glyphloom& converter, std::string_view content, size_t byte) {
  const Index& index_ = converter.index();
  if (content.size() == 1) return std::string(content);

  detail::Key dashed{content};
  if (const auto text = index_.get(Table::Names, dashed.replace(' ', '-'))) {
    return std::string(*text);
  }
  return tag_parts(converter, content, byte);
}

Result<std::string> detail::tag_parts(const Glyphloom& converter, std::string_view content,
                                      size_t byte) {
  const Index& index_ = converter.index();
  // Leading metas: "key value" pairs while the word before a space is a meta key.
  std::vector<std::pair<std::string_view, std::string_view>> metas;
  std::string_view rest = detail::trim_start_white(content);
  for (size_t space; (space = rest.find(' ')) != std::string_view::npos;) {
    const auto key = rest.substr(0, space);
    if (!index_.entry(Table::Templates, key)) break;
    const auto after = detail::trim_start_white(rest.substr(space + 1));
    const size_t end = after.find(' ');
    const auto value = after.substr(0, end);
    if (!is_value(value)) return InvalidMeta{std::string(content)};
    if (key == "font" && !converter.font(value)) {
      converter.warn(
          detail::fill("{} is no font style of the entities, used as a font family", {value}),
          byte);
    }
    metas.emplace_back(key, value);
    rest = end == std::string_view::npos ? std::string_view()
                                         : detail::trim_start_white(after.substr(end + 1));
  }
  if (!metas.empty()) {
    const MetaKind kind = rest.empty() ? MetaKind::Open : MetaKind::Attached;
    std::string tags;
    for (const auto& [key, value] : metas)
      tags += Meta{kind, std::string(key), std::string(value)}.tags();
    if (kind == MetaKind::Open) return tags;
    // Attached metas follow every cluster of the text, so their size multiplies the output:
    // an oversized set is refused like an unacceptable value.
    if (tags.size() > detail::kMaxAttachedTagBytes) return InvalidMeta{std::string(content)};
    auto inner = tag(converter, rest, byte);
    if (std::holds_alternative<Error>(inner)) {
      inner = meta_operands(converter, rest, byte);
      if (std::holds_alternative<Error>(inner)) return inner;
    }
    return attach(std::get<std::string>(inner), tags);
  }

  // Modifiers, then operands. Only a first word may end at a dash.
  size_t separator = content.find(' ');
  if (separator == std::string_view::npos) separator = content.find('-');
  if (separator == std::string_view::npos) return UnknownEntity{std::string(content)};
  // A word is a modifier when its marker key, the word and the space after it, is a name.
  const auto is_modifier = [&index_](std::string_view word) {
    return has_name(index_, detail::Key{word, " "});
  };
  // At most kMaxTagModifiers words, kept without allocating.
  std::string_view words[detail::kMaxTagModifiers];
  size_t count = 0;
  words[count++] = content.substr(0, separator);
  if (!is_modifier(words[0])) return UnknownEntity{std::string(content)};
  std::string_view operand_text = content.substr(separator + 1);
  for (size_t space; (space = operand_text.find(' ')) != std::string_view::npos;) {
    const auto word = operand_text.substr(0, space);
    if (!is_modifier(word)) break;
    // Every modifier applies to every produced character; a tag with more than this many is
    // no tag a person writes, and resolving it would multiply its output.
    if (count == detail::kMaxTagModifiers) return UnknownEntity{std::string(content)};
    words[count++] = word;
    operand_text.remove_prefix(space + 1);
  }

  const auto principal = words[count - 1];
  std::vector<std::string_view> effects;
  std::vector<std::string_view> styles;
  for (size_t i = 0; i + 1 < count; ++i) {
    (is_effect(converter, words[i]) ? effects : styles).push_back(words[i]);
  }
  if (styles.empty()) return operands(converter, principal, operand_text, effects, byte);

  const std::string text = operands(converter, principal, operand_text, {}, byte);
  detail::StyleCombiner combiner(index_, styles);
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const detail::Char c = detail::char_at(text, i);
    out += detail::restyled_with(converter, combiner, styles, c.cp, byte);
    out += converter.effect_suffixes(effects, c.cp, byte);
    i += c.length;
  }
  return out;
}

}  // namespace glyphloom
