#include "glyphloom/index.hpp"
#include "read.hpp"

namespace glyphloom {

namespace {
constexpr uint64_t kRecordSize = 20;
uint64_t directory(Table table) {
  return 8 + 8 * uint64_t{static_cast<uint32_t>(table)};
}
}  // namespace

Record Whole::record(Table table, size_t i) const {
  uint64_t at = uint64_t{detail::u32_at(image_, directory(table))} + kRecordSize * i;
  detail::slice_at(image_, at, kRecordSize);
  return Record{detail::u32_at(image_, at), detail::u32_at(image_, at + 4),
                detail::u32_at(image_, at + 8), detail::u32_at(image_, at + 12),
                detail::u32_at(image_, at + 16)};
}

size_t Whole::len(Table table) const {
  return detail::u32_at(image_, directory(table) + 4);
}

Entry Whole::entry_at(Table table, size_t i) const {
  Record r = record(table, i);
  return Entry{detail::text_at(image_, r.key_offset, r.key_length),
               detail::text_at(image_, r.text_offset, r.text_length)};
}

std::optional<Entry> Whole::entry(Table table, std::string_view key) const {
  const uint32_t h = text_hash(key);
  const uint64_t base = detail::u32_at(image_, directory(table));
  const size_t n = len(table);
  auto hash_at = [&](size_t i) { return detail::u32_at(image_, base + kRecordSize * i); };
  size_t lo = 0, hi = n;
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (hash_at(mid) < h) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  for (size_t i = lo; i < n && hash_at(i) == h; ++i) {
    Record r = record(table, i);
    // Every candidate key is checked before it is compared, so a bad key on the path is found.
    std::string_view candidate = detail::text_at(image_, r.key_offset, r.key_length);
    if (candidate == key) {
      return Entry{candidate, detail::text_at(image_, r.text_offset, r.text_length)};
    }
  }
  return std::nullopt;
}

}  // namespace glyphloom
