// Texts for tests: a character as UTF-8, and the TAG sequences of the three meta kinds.
#pragma once

#include <string>

#include "glyphloom/meta.hpp"

namespace glyphloom::test_text {

inline std::string u8(char32_t cp) {
  std::string out;
  utf8::append(out, cp);
  return out;
}
inline std::string O(const std::string& key, const std::string& value) {
  return Meta{MetaKind::Open, key, value}.tags();
}
inline std::string C(const std::string& key) {
  return Meta{MetaKind::Close, key, {}}.tags();
}
inline std::string A(const std::string& key, const std::string& value) {
  return Meta{MetaKind::Attached, key, value}.tags();
}

}  // namespace glyphloom::test_text
