// Shared helpers of the fuzz targets: the default converter, valid-UTF-8 inputs, and a failure
// that libFuzzer reports with the input.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "glyphloom/glyphloom.hpp"

namespace glyphloom::fuzz {

inline const Glyphloom& default_converter() {
  static const Glyphloom converter(std::get<Index>(Index::open(default_image())));
  return converter;
}

// Only valid UTF-8 reaches the library from Python; other inputs are skipped.
inline bool as_text(const uint8_t* data, size_t size, std::string_view& text) {
  text = std::string_view(reinterpret_cast<const char*>(data), size);
  return utf8::valid(text);
}

#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

}  // namespace glyphloom::fuzz
