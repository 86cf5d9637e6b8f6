#include "glyphloom/index.hpp"
#include "search.hpp"

// Bytes assembled into the library from the packed default tables (default_image.S).
extern "C" const char glyphloom_default_image_start[];
extern "C" const char glyphloom_default_image_end[];

namespace glyphloom {

std::string_view default_image() noexcept {
  return std::string_view(glyphloom_default_image_start,
                          glyphloom_default_image_end - glyphloom_default_image_start);
}

namespace {
// The default image lives as long as the process, so its lookups may keep bucket starts.
[[maybe_unused]] const bool registered = (detail::register_static_image(default_image()), true);
}  // namespace

}  // namespace glyphloom
