// Several keys of one table looked up together. A single search waits on each of its reads in
// turn; the lower bounds of a batch are searched at once, so that their reads overlap. Each key is
// then finished on its own when its caller comes to it, so the caller gets the results, and meets
// any fault of the image, in the order it would looking the keys up one at a time.
//
//   detail::Batch names(index, Table::Names);
//   const auto* alpha = names.add("alpha");        // up to kMaxBatch keys
//   const auto* beta = names.add("beta", " ");      // the key "beta "
//   const auto* alpha_ = names.extend(*alpha, " "); // "alpha ", hashed on from "alpha"
//   names.search();
//   if (auto found = names.find(*alpha)) ...        // Index::entry(Table::Names, "alpha")
//   names.clear();                                  // then the next batch
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "glyphloom/index.hpp"
#include "index/hash_word.hpp"
#include "index/search.hpp"
#include "index/uninitialized.hpp"

namespace glyphloom::detail {

class Batch {
 public:
  // The key `head` followed by `tail`. Its hash, made once when it is added, and its lower
  // bound, once searched, stand at `at` in arrays of the batch that the search takes as they are.
  struct Key {
    std::string_view head;
    std::string_view tail;
    bool valid;  // known to be UTF-8, which spares checking a record key equal to it
    size_t at;
  };

  Batch(const Index& index, Table table) noexcept : index_(index), table_(table) {}
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

  // Keys that may still be added before the next `clear`.
  size_t room() const noexcept { return kMaxBatch - count_; }
  // Adds a key (room() must be at least one); it stays valid until `clear`, and its bytes must
  // too.
  const Key* add(std::string_view head, std::string_view tail = {}, bool valid = false) noexcept {
    return put(head, tail, carried(hash_of(head), tail), valid);
  }
  // Adds the key `base` (one without a tail) followed by `tail`, its hash carried on from
  // `base`'s.
  const Key* extend(const Key& base, std::string_view tail) noexcept {
    return put(base.head, tail, carried(hashes_[base.at], tail), false);
  }
  // The lower bounds of the keys added since the last `clear`, all at once.
  void search() noexcept;
  // Index::entry(table, head + tail) of a searched key.
  std::optional<Entry> find(const Key& key) const {
    if (!view_.records) return find_elsewhere(key);
    const uint32_t hash = hashes_[key.at];
    const size_t bound = bounds_[key.at];
    if (key.tail.empty()) return entry_from(view_, key.head, hash, bound, key.valid);
    return entry_from(view_, key.head, key.tail, hash, bound);
  }
  // How far a text that `find` returned may be read: the image's end when the table was searched
  // in place, the text's own end otherwise.
  const char* readable(std::string_view text) const noexcept {
    if (view_.records) return view_.image.data() + view_.image.size();
    return text.data() + text.size();
  }
  void clear() noexcept { count_ = 0; }

 private:
  // The hash of a text whose hash is `hash`, followed by `tail`.
  static uint32_t carried(uint32_t hash, std::string_view tail) noexcept {
    for (const char c : tail) hash = hash * 31u + static_cast<unsigned char>(c);
    return hash;
  }
  const Key* put(std::string_view head, std::string_view tail, uint32_t hash, bool valid) noexcept {
    hashes_[count_] = hash;
    Key& key = keys_[count_];
    key = Key{head, tail, valid, count_++};
    return &key;
  }
  // `find` in a table that is not searched in place.
  std::optional<Entry> find_elsewhere(const Key& key) const;

  const Index& index_;
  Table table_;
  // Found at the first search, so that text without keys finds no table.
  TableView view_{};
  bool viewed_ = false;
  Uninitialized<Key, kMaxBatch> keys_;
  Uninitialized<uint32_t, kMaxBatch> hashes_;
  Uninitialized<size_t, kMaxBatch> bounds_;
  size_t count_ = 0;
};

}  // namespace glyphloom::detail
