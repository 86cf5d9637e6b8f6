#include "glyphloom/index.hpp"

namespace glyphloom {

uint32_t text_hash(std::string_view text) noexcept {
  uint32_t h = 0;
  for (unsigned char b : text) h = h * 31u + b;
  return h;
}

}  // namespace glyphloom
