#include <string>

#include "glyphloom/meta.hpp"

namespace glyphloom {

std::string Warning::text() const {
  std::string out = "glyphloom: ";
  out += message;
  out += " at byte ";
  out += std::to_string(byte);
  return out;
}

}  // namespace glyphloom
