// Effects: suffix characters after each produced character, or attached metas where a script
// has no suffix.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "glyphloom/glyphloom.hpp"
#include "glyphloom/meta.hpp"
#include "internal.hpp"
#include "steps.hpp"

namespace glyphloom {

bool detail::is_effect(const Glyphloom& converter, std::string_view word) {
  return has_name(converter.index(), Key{word, " *suffix"});
}

std::optional<std::string_view> detail::suffix_of(const Glyphloom& converter,
                                                  std::string_view effect, char32_t base) {
  const Index& index_ = converter.index();
  detail::Key key{effect, " *suffix"};
  if (const auto script = detail::script_word(base); !script.empty()) {
    const size_t generic = key.size();
    key += ' ';
    key += script;
    // An empty script-specific text is an answer too: the effect has no suffix in that script.
    if (const auto text = index_.get(Table::Names, key)) return text;
    key.truncate(generic);
  }
  return index_.get(Table::Names, key);
}

std::string Glyphloom::effect_suffixes(const std::vector<std::string_view>& effects, char32_t base,
                                       size_t byte) const {
  return detail::effect_suffixes_of(*this, effects, base, byte);
}

namespace detail {

std::string effect_suffixes_of(const Glyphloom& converter,
                               std::span<const std::string_view> effects, char32_t base,
                               size_t byte) {
  const Index& index_ = converter.index();
  const auto suffix_of = [&](std::string_view effect, char32_t c) {
    return detail::suffix_of(converter, effect, c);
  };
  const auto warn = [&](std::string message, size_t at) { converter.warn(std::move(message), at); };
  std::string suffixes;
  std::string metas;
  for (const auto effect : effects) {
    if (const auto suffix = suffix_of(effect, base); suffix && !suffix->empty()) {
      suffixes += *suffix;
      continue;
    }
    const auto meta = index_.get(Table::Names, detail::Key{effect, " *meta"});
    const size_t space = meta ? meta->find(' ') : std::string_view::npos;
    if (space != std::string_view::npos) {
      const auto key = meta->substr(0, space);
      warn(detail::fill("{} on {} kept as {} meta", {effect, detail::encoded(base), key}), byte);
      metas +=
          Meta{MetaKind::Attached, std::string(key), std::string(meta->substr(space + 1))}.tags();
      continue;
    }
    warn(detail::fill("{} does not apply to {}", {effect, detail::encoded(base)}), byte);
  }
  return suffixes + metas;
}

}  // namespace detail

}  // namespace glyphloom
