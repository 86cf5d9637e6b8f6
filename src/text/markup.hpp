// Pieces of markup text: the name inside "<:" name ">", and "{}" patterns.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace glyphloom::text {

// The name inside a text of the form "<:" name ">", or nothing for a text of another shape.
inline std::optional<std::string_view> bracketed_name(std::string_view text) noexcept {
  if (text.size() < 3 || !text.starts_with("<:") || !text.ends_with('>')) return std::nullopt;
  return text.substr(2, text.size() - 3);
}

// `pattern` appended to `out` with its i-th "{}" replaced by `value(i)`.
template <class Value>
void append_filled(std::string& out, std::string_view pattern, Value&& value) {
  size_t i = 0;
  for (size_t at; (at = pattern.find("{}")) != std::string_view::npos;
       pattern.remove_prefix(at + 2)) {
    out += pattern.substr(0, at);
    out += value(i++);
  }
  out += pattern;
}

// `pattern` with its "{}" replaced by `args` in order (by nothing past the last one).
inline std::string fill(std::string_view pattern, std::initializer_list<std::string_view> args) {
  std::string out;
  append_filled(out, pattern, [args](size_t i) {
    return i < args.size() ? args.begin()[i] : std::string_view();
  });
  return out;
}

}  // namespace glyphloom::text
