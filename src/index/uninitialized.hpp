// An array whose elements are not made until they are written. The driver keeps a batch of
// items and keys on the stack for every conversion; making each element (their string views
// start empty) costs more than converting a short text.
#pragma once

#include <cstddef>
#include <type_traits>

namespace glyphloom::detail {

template <class T, size_t N>
class Uninitialized {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                "elements come into being when they are written");

 public:
  Uninitialized() noexcept {}
  T& operator[](size_t i) noexcept { return items_[i]; }
  const T& operator[](size_t i) const noexcept { return items_[i]; }

 private:
  union {
    T items_[N];
  };
};

}  // namespace glyphloom::detail
