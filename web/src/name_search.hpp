// A name search over the entries of the index that are loaded: words, starts of words, a pasted
// character or a code point.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "glyphloom/index.hpp"

namespace glyphloom::web {

// The matches as a JSON array of {"name", "text"}, best first, one per text. Ranked: the key
// itself, the key ignoring case and separators, keys with every word, then keys whose words
// start with the query's; within a rank fewer other words, then shorter keys, then by key.
std::string search_names(const Index& index, std::string_view query, size_t limit);

}  // namespace glyphloom::web
