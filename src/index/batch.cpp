#include "index/batch.hpp"

#include <string>

namespace glyphloom::detail {

void Batch::search() noexcept {
  if (count_ == 0) return;
  if (!viewed_) {
    viewed_ = true;
    if (!index_.is_chunked()) view_ = table_view(index_.whole().bytes(), table_);
  }
  if (!view_.records) return;
  lower_bounds(view_, &hashes_[0], &bounds_[0], count_);
}

std::optional<Entry> Batch::find_elsewhere(const Key& key) const {
  if (key.tail.empty()) return index_.entry(table_, key.head);
  // A short joined key is built on the stack, so that these lookups allocate nothing either.
  const size_t size = key.head.size() + key.tail.size();
  char joined[96];
  if (size > sizeof joined) return index_.entry(table_, std::string(key.head) += key.tail);
  key.head.copy(joined, key.head.size());
  key.tail.copy(joined + key.head.size(), key.tail.size());
  return index_.entry(table_, std::string_view(joined, size));
}

}  // namespace glyphloom::detail
