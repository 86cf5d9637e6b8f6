// The one range-checked primitive every read of an image goes through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace glyphloom::detail {

// The little-endian u32 at `offset`; throws InternalError when the four bytes are not all inside.
uint32_t u32_at(std::string_view image, uint64_t offset);

// `length` bytes at `offset`; throws InternalError when they are not all inside. The sum is
// formed in 64 bits, so no offset or length from the image can wrap it.
std::string_view slice_at(std::string_view image, uint64_t offset, uint64_t length);

// As slice_at, and the bytes must be UTF-8 ("index texts are UTF-8").
std::string_view text_at(std::string_view image, uint64_t offset, uint64_t length);

}  // namespace glyphloom::detail
