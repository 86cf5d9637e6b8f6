#include <cstddef>

#include "glyphloom/index.hpp"
#include "search.hpp"

#if defined(GLYPHLOOM_EMBED_SOURCE)
// Bytes written as an array by glyphloom_embed (default_image_bytes.cpp).
extern "C" const unsigned char glyphloom_default_image_bytes[];
extern "C" const std::size_t glyphloom_default_image_size;
#else
// Bytes assembled into the library from the packed default tables (default_image.S).
extern "C" const char glyphloom_default_image_start[];
extern "C" const char glyphloom_default_image_end[];
#endif

namespace glyphloom {

std::string_view default_image() noexcept {
#if defined(GLYPHLOOM_EMBED_SOURCE)
  return std::string_view(reinterpret_cast<const char*>(glyphloom_default_image_bytes),
                          glyphloom_default_image_size);
#else
  return std::string_view(glyphloom_default_image_start,
                          glyphloom_default_image_end - glyphloom_default_image_start);
#endif
}

namespace {
// The default image lives as long as the process, so its lookups may keep hash slots.
[[maybe_unused]] const bool registered = (detail::register_static_image(default_image()), true);
}  // namespace

}  // namespace glyphloom
