// The steps of a conversion that only the converter itself and its tests call: effects, operands,
// restyling, tags, findings and spellings, each over a converter.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "glyphloom/glyphloom.hpp"

namespace glyphloom::detail {

// Whether the key is in the Names table.
bool has_name(const Index& index, std::string_view key);

// Effects.
bool is_effect(const Glyphloom& converter, std::string_view word);
std::optional<std::string_view> suffix_of(const Glyphloom& converter, std::string_view effect,
                                          char32_t base);

// Operands: one word, or a run of text, under a modifier.
std::string operand(const Glyphloom& converter, std::string_view modifier, std::string_view word,
                    const std::vector<std::string_view>& effects, size_t byte);
std::string operands(const Glyphloom& converter, std::string_view modifier, std::string_view text,
                     const std::vector<std::string_view>& effects, size_t byte);

// Restyling.
std::optional<std::string_view> form(const Glyphloom& converter, std::string_view style,
                                     std::string_view base);
std::vector<std::vector<std::string_view>> permutations(const std::vector<std::string_view>& list);
std::optional<std::string> restyled_by(const Glyphloom& converter, std::string_view style,
                                       char32_t c);

// Tags: the content of one <:...>.
Result<std::string> tag(const Glyphloom& converter, std::string_view content, size_t byte);
// `tag` of a content longer than one byte whose whole name is no name.
Result<std::string> tag_parts(const Glyphloom& converter, std::string_view content, size_t byte);

// Findings: an error as it is kept in the text in the lenient mode (with a warning), or the error.
Result<std::string> kept(const Glyphloom& converter, Error error, std::string_view source,
                         size_t byte, WarningMode mode);

// Spellings: a character in markup, with effect words before it.
std::string spelled(const Glyphloom& converter, char32_t c,
                    const std::vector<std::string_view>& effects);

}  // namespace glyphloom::detail
