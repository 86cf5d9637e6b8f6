// The search of a whole image's table in two halves, the lower bound of a hash and the scan of the
// records from it, so that callers with several keys at hand can search for them together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "glyphloom/index.hpp"

namespace glyphloom::detail {

// Keys one `lower_bounds` call searches for at most.
inline constexpr size_t kMaxBatch = 32;

// Where the first record of each hash lies in a large table of the registered image: an open
// addressing table of 32-bit slots, each empty (0) or the record number plus one in its low
// `index_bits` bits under a tag of the hash above them, so that a lookup reads one slot or a few
// neighbours instead of bisecting the records.
struct HashSlots {
  static constexpr unsigned kMaxIndexBits = 24;  // leaves a tag of 8 bits at least

  const uint32_t* slots = nullptr;
  unsigned slot_bits = 0;
  unsigned index_bits = 0;

  struct Probe {
    size_t slot;   // where the search for the hash starts
    uint32_t tag;  // its bits above the record number
  };
  Probe probe(uint32_t h) const noexcept {
    // Fibonacci hashing: the top bits of the product depend on every bit of the hash, which
    // matters, since short keys have hashes with many leading zeros.
    const uint64_t mixed = uint64_t{h} * 0x9E3779B97F4A7C15u;
    const uint32_t below = static_cast<uint32_t>(mixed >> (32 - slot_bits));
    return Probe{static_cast<size_t>(mixed >> (64 - slot_bits)), below & ~index_mask()};
  }
  uint32_t index_mask() const noexcept { return (uint32_t{1} << index_bits) - 1; }
};

// A table whose whole record array lies inside its image, so that no read of a record can fail;
// `records` is null for any other table, which only the range-checked reader may search.
struct TableView {
  std::string_view image;
  const unsigned char* records;
  size_t count;
  HashSlots slots{};  // for a large table of the registered image only
};
TableView table_view(std::string_view image, Table table) noexcept;
// `table_view` without the slots.
TableView records_of(std::string_view image, Table table) noexcept;

// Hash slots spare a lookup in a large table most of its reads. They are made, on its first
// lookup, for one image that lives as long as the process (the compiled-in default image, which
// every process looks up most); other images are bisected.
inline constexpr size_t kMinSlottedRecords = size_t{1} << 14;
void register_static_image(std::string_view image) noexcept;
// The view of `table`, with its slots if it is large, when `image` is the registered one; else
// null.
const TableView* registered_view(std::string_view image, Table table) noexcept;

// The lower bound of `h` among the table's record hashes, by the bisection lookups specify; where
// the table has slots and no record has the hash, the record count instead (no record of the hash
// lies at either place, so a lookup from it finds nothing either way).
size_t lower_bound(const TableView& table, uint32_t h) noexcept;

// Searches of a batch up to this many gain nothing from overlapping: the plain search is quickest.
inline constexpr size_t kMaxPlainBatch = 2;

// `lower_bound` of `count` (at most kMaxBatch) hashes at once, into `bounds`.
void lower_bounds(const TableView& table, const uint32_t* hashes, size_t* bounds,
                  size_t count) noexcept;

// The entry of `key`, whose hash is `h`, found from its lower bound `lo`: `Whole::entry` after
// its bisection. Throws InternalError as `Whole::entry` does. `key_valid` tells that the key is
// known to be UTF-8, which spares checking a candidate equal to it.
std::optional<Entry> entry_from(const TableView& table, std::string_view key, uint32_t h, size_t lo,
                                bool key_valid = false);

// `entry_from` of the key `head` followed by `tail`.
std::optional<Entry> entry_from(const TableView& table, std::string_view head,
                                std::string_view tail, uint32_t h, size_t lo);

}  // namespace glyphloom::detail
