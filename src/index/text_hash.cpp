#include "glyphloom/index.hpp"
#include "hash_word.hpp"

namespace glyphloom {

uint32_t text_hash(std::string_view text) noexcept {
  return detail::hash_of(text);
}

}  // namespace glyphloom
