#include "glyphloom/index.hpp"

// Bytes assembled into the library from the packed default tables (default_image.S).
extern "C" const char glyphloom_default_image_start[];
extern "C" const char glyphloom_default_image_end[];

namespace glyphloom {

std::string_view default_image() noexcept {
  return std::string_view(glyphloom_default_image_start,
                          glyphloom_default_image_end - glyphloom_default_image_start);
}

}  // namespace glyphloom
