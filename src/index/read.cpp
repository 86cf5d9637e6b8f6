#include "read.hpp"

#include <cstring>
#include <string>

#include "glyphloom/index.hpp"
#include "glyphloom/meta.hpp"

namespace glyphloom::detail {

namespace {
[[noreturn]] void outside(std::string_view image, uint64_t offset, uint64_t length) {
  throw InternalError("index read outside the image: " + std::to_string(length) +
                      " bytes at offset " + std::to_string(offset) + " of an image of " +
                      std::to_string(image.size()) + " bytes");
}
}  // namespace

uint32_t u32_at(std::string_view image, uint64_t offset) {
  if (offset > image.size() || image.size() - offset < 4) outside(image, offset, 4);
  unsigned char b[4];
  std::memcpy(b, image.data() + offset, 4);
  return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

std::string_view slice_at(std::string_view image, uint64_t offset, uint64_t length) {
  if (offset > image.size() || image.size() - offset < length) outside(image, offset, length);
  return image.substr(offset, length);
}

std::string_view text_at(std::string_view image, uint64_t offset, uint64_t length) {
  std::string_view text = slice_at(image, offset, length);
  if (!utf8::valid(text)) {
    throw InternalError("index texts are UTF-8: " + std::to_string(length) + " bytes at offset " +
                        std::to_string(offset) + " are not");
  }
  return text;
}

}  // namespace glyphloom::detail
