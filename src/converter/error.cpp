// The textual forms of conversion errors.
#include <string>
#include <variant>

#include "glyphloom/glyphloom.hpp"

namespace glyphloom {

namespace {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace

std::string error_text(const Error& error) {
  return std::visit(
      Overloaded{
          [](const UnknownEntity& e) { return "unknown glyphloom entity: " + e.name; },
          [](const Unclosed& e) { return "unclosed <: at " + e.rest; },
          [](const Unsupported& e) { return e.warning.text(); },
          [](const InvalidMeta& e) { return "invalid meta value in <:" + e.content + ">"; },
      },
      error);
}

}  // namespace glyphloom
