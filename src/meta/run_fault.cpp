#include <string>

#include "glyphloom/meta.hpp"
#include "text/bytes.hpp"

namespace glyphloom {

namespace {
bool on_boundary(std::string_view text, size_t pos) {
  return pos == text.size() || !text::is_continuation(text[pos]);
}
}  // namespace

std::optional<std::string> run_fault(std::string_view text, const MetaRun& run) {
  if (run.end > text.size()) {
    return "end " + std::to_string(run.end) + " is beyond the text of " +
           std::to_string(text.size()) + " bytes";
  }
  if (run.start > run.end) {
    return "start " + std::to_string(run.start) + " is after end " + std::to_string(run.end);
  }
  if (!on_boundary(text, run.start)) {
    return "start " + std::to_string(run.start) + " is inside a character";
  }
  if (!on_boundary(text, run.end)) {
    return "end " + std::to_string(run.end) + " is inside a character";
  }
  return std::nullopt;
}

}  // namespace glyphloom
