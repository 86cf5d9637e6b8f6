// Restyling: styled variants of single characters, combining a character's own style with the
// requested ones.
#include <algorithm>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "glyphloom/glyphloom.hpp"
#include "internal.hpp"
#include "steps.hpp"

namespace glyphloom {

namespace {

void add_parts(std::vector<std::string_view>& parts, std::string_view word) {
  size_t start = 0;
  while (start <= word.size()) {
    size_t end = word.find('-', start);
    if (end == std::string_view::npos) end = word.size();
    if (end > start) parts.push_back(word.substr(start, end - start));
    start = end + 1;
  }
}

void sort_unique(std::vector<std::string_view>& parts) {
  std::sort(parts.begin(), parts.end());
  parts.erase(std::unique(parts.begin(), parts.end()), parts.end());
}

// The text a spelling's base name stands for: a longer name is an entity when the index has one.
std::string_view base_text(const Index& index, std::string_view name) {
  if (detail::more_than_one_char(name)) {
    if (const auto text = index.get(Table::Names, name)) return *text;
  }
  return name;
}

// `restyled_by`, following at most kMaxRestyleDepth links from a styled character to its base,
// so that a caller-supplied image whose spellings form a cycle (a character spelled as a style of
// itself, directly or through others) yields "no form" instead of endless recursion.
std::optional<std::string> restyled_by_within(const Glyphloom& converter, std::string_view style,
                                              char32_t c, size_t depth) {
  const std::string ch = detail::encoded(c);
  if (const auto text = detail::form(converter, style, ch)) return std::string(*text);
  const auto spelling = converter.spelling(c);
  if (!spelling) return std::nullopt;
  if (spelling->style.empty()) {
    if (const auto text = detail::form(converter, style, spelling->base)) return std::string(*text);
    return std::nullopt;
  }
  const auto base = detail::single_char(base_text(converter.index(), spelling->base));
  if (!base || depth + 1 >= detail::kMaxRestyleDepth) return std::nullopt;
  const auto restyled = restyled_by_within(converter, style, *base, depth + 1);
  if (!restyled) return std::nullopt;
  if (*restyled == detail::encoded(*base)) return ch;
  if (const auto text = detail::form(converter, spelling->style, *restyled)) return std::string(*text);
  return std::nullopt;
}

}  // namespace

namespace detail {

StyleCombiner::StyleCombiner(const Index& index, const std::vector<std::string_view>& words)
    : index_(index) {
  for (const auto word : words) add_parts(parts_, word);
  sort_unique(parts_);
}

std::optional<std::string_view> StyleCombiner::combined(std::string_view own) {
  if (const auto known = found_.find(own); known != found_.end()) return known->second;
  std::vector<std::string_view> parts = parts_;
  add_parts(parts, own);
  sort_unique(parts);

  // The parts are sorted and distinct, so next_permutation visits the orderings in the
  // lexicographic order in which `permutations` lists them, without materialising n! lists.
  // Only the first kMaxStyleOrderings orderings are tried: n distinct parts have n! orderings,
  // and no real combined style has more than a handful of parts.
  std::optional<std::string_view> name;
  std::string key;
  size_t tried = 0;
  do {
    key.clear();
    for (size_t i = 0; i < parts.size(); ++i) {
      if (i > 0) key += '-';
      key += parts[i];
    }
    key += ' ';
    if (const auto marker = index_.entry(Table::Names, key)) {
      name = marker->key.substr(0, marker->key.size() - 1);
      break;
    }
  } while (++tried < kMaxStyleOrderings && std::next_permutation(parts.begin(), parts.end()));
  found_.emplace(own, name);
  return name;
}

std::string restyled_with(const Glyphloom& converter, StyleCombiner& combiner,
                          const std::vector<std::string_view>& styles, char32_t c, size_t byte) {
  if (const auto spelling = converter.spelling(c)) {
    const auto base =
        spelling->style.empty() ? spelling->base : base_text(converter.index(), spelling->base);
    if (const auto style = combiner.combined(spelling->style)) {
      if (const auto text = detail::form(converter, *style, base)) return std::string(*text);
    }
  }
  // Stepwise, innermost (last written) style first; a style without a form leaves the character
  // as it is for the styles written before it.
  std::string result = encoded(c);
  for (size_t i = styles.size(); i-- > 0;) {
    const auto g = single_char(result);
    if (!g) continue;
    if (auto restyled = detail::restyled_by(converter, styles[i], *g)) {
      result = std::move(*restyled);
    } else {
      converter.warn(fill("no {} form of {}", {styles[i], result}), byte);
    }
  }
  return result;
}

}  // namespace detail

std::optional<std::string_view> detail::form(const Glyphloom& converter, std::string_view style,
                                             std::string_view base) {
  return converter.index().get(Table::Names, detail::Key{style, " ", base});
}

std::vector<std::vector<std::string_view>> detail::permutations(
    const std::vector<std::string_view>& list) {
  // All n! orderings, as asked: the converter never materialises them (StyleCombiner walks
  // them lazily). Permuting positions rather than slices keeps equal slices apart, as removing
  // each position in turn does; the position orderings come out in lexicographic order.
  std::vector<size_t> order(list.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::vector<std::vector<std::string_view>> result;
  do {
    auto& ordering = result.emplace_back();
    ordering.reserve(order.size());
    for (const size_t i : order) ordering.push_back(list[i]);
  } while (std::next_permutation(order.begin(), order.end()));
  return result;
}

std::optional<std::string> detail::restyled_by(const Glyphloom& converter, std::string_view style,
                                               char32_t c) {
  return restyled_by_within(converter, style, c, 0);
}

std::string Glyphloom::restyled(const std::vector<std::string_view>& styles, char32_t c,
                                size_t byte) const {
  detail::StyleCombiner combiner(index_, styles);
  return detail::restyled_with(*this, combiner, styles, c, byte);
}

}  // namespace glyphloom
