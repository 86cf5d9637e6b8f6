// Small custom images for tests, built with the canonical writer.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "glyphloom/index.hpp"
#include "glyphloom/writer.hpp"

namespace glyphloom::testing {

// Keeps every image it makes alive for the life of the test process, so indexes never dangle.
inline std::string_view keep(std::string image) {
  static std::deque<std::string> images;
  images.push_back(std::move(image));
  return images.back();
}

inline Index open_or_die(std::string_view bytes) {
  auto opened = Index::open(bytes);
  if (auto* index = std::get_if<Index>(&opened)) return *index;
  throw std::runtime_error(std::get<std::string>(opened));
}

// An index over a written image: rows per table, tables 0..4 in order (missing ones empty).
inline Index make_index(std::vector<TableRows> tables) {
  return open_or_die(keep(write_image(tables)));
}

inline Index default_index() {
  return open_or_die(default_image());
}

}  // namespace glyphloom::testing
