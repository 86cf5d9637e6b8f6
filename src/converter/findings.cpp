// Findings: warnings recorded during a conversion, and the lenient gate for errors.
#include <string>
#include <string_view>
#include <utility>

#include "glyphloom/glyphloom.hpp"
#include "internal.hpp"
#include "steps.hpp"

namespace glyphloom {

void Glyphloom::warn(std::string message, size_t byte) const {
  if (warnings_.size() < detail::kMaxWarnings) {
    warnings_.push_back(Warning{std::move(message), byte});
  } else if (unlisted_++ == 0) {
    // Stands for all the findings not kept; `convert` writes their number into it at the end.
    warnings_.push_back(Warning{{}, byte});
  }
}

Result<std::string> detail::kept(const Glyphloom& converter, Error error, std::string_view source,
                                 size_t byte, WarningMode mode) {
  if (mode != WarningMode::Lenient) return error;
  converter.warn(error_text(error), byte);
  return std::string(source);
}

}  // namespace glyphloom
