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

// A table whose whole record array lies inside its image, so that no read of a record can fail;
// `records` is null for any other table, which only the range-checked reader may search.
struct TableView {
  std::string_view image;
  const unsigned char* records;
  size_t count;
  // For a large table of the registered image: record i's hash has its top kBucketBits bits
  // equal to b exactly for starts[b] <= i < starts[b + 1]. Null for every other table.
  const uint32_t* starts = nullptr;
};
TableView table_view(std::string_view image, Table table) noexcept;

// Bucket starts cut a lookup in a large table from bisecting all its records to bisecting a few
// dozen. They are made, on its first lookup, for one image that lives as long as the process
// (the compiled-in default image, which every process looks up most); other images are
// searched without them.
inline constexpr unsigned kBucketBits = 12;
inline constexpr size_t kMinBucketedRecords = size_t{1} << 14;
void register_static_image(std::string_view image) noexcept;

// The lower bound of `h` among the table's record hashes, by the bisection lookups specify.
size_t lower_bound(const TableView& table, uint32_t h) noexcept;

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
