// HTML in which effect suffixes show: a base character followed by the TAG letters of colours or
// of turns, or by the Egyptian mirror control, is wrapped with them in a span that gives the base
// that colour or transform. The characters stay in the text, so copying the page keeps them.
#pragma once

#include <string>

#include "glyphloom/glyphloom.hpp"

namespace glyphloom::detail {

std::string effects_html(const Glyphloom& core, const Styled& styled);

}  // namespace glyphloom::detail
