#include "index/batch.hpp"

#include <string>

namespace glyphloom::detail {

const Batch::Key* Batch::add(std::string_view head, std::string_view tail, bool valid) noexcept {
  uint32_t hash = text_hash(head);
  for (const char c : tail) hash = hash * 31u + static_cast<unsigned char>(c);
  Key& key = keys_[count_++];
  key = Key{head, tail, hash, valid, 0};
  return &key;
}

void Batch::search() noexcept {
  if (count_ == 0) return;
  if (!viewed_) {
    viewed_ = true;
    if (!index_.is_chunked()) view_ = table_view(index_.whole().bytes(), table_);
  }
  if (!view_.records) return;
  uint32_t hashes[kMaxBatch];
  size_t bounds[kMaxBatch];
  for (size_t k = 0; k < count_; ++k) hashes[k] = keys_[k].hash;
  lower_bounds(view_, hashes, bounds, count_);
  for (size_t k = 0; k < count_; ++k) keys_[k].bound = bounds[k];
}

std::optional<Entry> Batch::find(const Key& key) const {
  if (view_.records) {
    if (key.tail.empty()) return entry_from(view_, key.head, key.hash, key.bound, key.valid);
    return entry_from(view_, key.head, key.tail, key.hash, key.bound);
  }
  if (key.tail.empty()) return index_.entry(table_, key.head);
  // A short joined key is built on the stack, so that these lookups allocate nothing either.
  const size_t size = key.head.size() + key.tail.size();
  char joined[96];
  if (size > sizeof joined) return index_.entry(table_, std::string(key.head) += key.tail);
  key.head.copy(joined, key.head.size());
  key.tail.copy(joined + key.head.size(), key.tail.size());
  return index_.entry(table_, std::string_view(joined, size));
}

const char* Batch::readable(std::string_view text) const noexcept {
  if (view_.records) return view_.image.data() + view_.image.size();
  return text.data() + text.size();
}

}  // namespace glyphloom::detail
