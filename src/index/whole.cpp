// Whole images: their records read through the checked primitive, and lookups, one key or a
// batch, that search a table in place.
#include <bit>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "glyphloom/index.hpp"
#include "kernels.hpp"
#include "read.hpp"
#include "records.hpp"
#include "search.hpp"
#include "text/utf8.hpp"
#include "work.hpp"

namespace glyphloom {

using detail::kRecordSize;
using detail::load_u32;

namespace {
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

namespace {

// Records of one hash are scanned in order, as lookups are specified, but only this far. With a
// multiplier as small as 31, colliding keys are easy to make ("Aa" and "BB" hash alike, and so
// does every concatenation of them), so an image could give thousands of records one hash and
// make each lookup of it read them all. The rest of such a run is searched by key instead: the
// writer sorts records of one hash by their key bytes, so the search finds what the scan would.
constexpr size_t kScannedCollisions = 64;

// The entry for `key` among records [from, n) that start a run of hash `h`, by bisection: first
// the end of the run, then the first key not below `key`. Every key it reads is range-checked and
// checked as UTF-8, as the scan checks its candidates, so each step costs about the length of
// `key`.
template <class RecordAt>
std::optional<Entry> search_by_key(std::string_view image, size_t from, size_t n, uint32_t h,
                                   std::string_view key, RecordAt&& record_at) {
  size_t lo = from, end = n;
  while (lo < end) {
    const size_t mid = lo + (end - lo) / 2;
    if (record_at(mid).hash <= h) {
      lo = mid + 1;
    } else {
      end = mid;
    }
  }
  lo = from;
  size_t hi = end;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    const Record r = record_at(mid);
    detail::count_candidate();
    if (detail::text_at(image, r.key_offset, r.key_length) < key) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo == end) return std::nullopt;
  const Record r = record_at(lo);
  detail::count_candidate();
  const std::string_view found = detail::text_at(image, r.key_offset, r.key_length);
  if (found != key) return std::nullopt;
  return Entry{found, detail::text_at(image, r.text_offset, r.text_length)};
}

}  // namespace

namespace detail {

TableView records_of(std::string_view image, Table table) noexcept {
  const auto* bytes = reinterpret_cast<const unsigned char*>(image.data());
  if (const uint64_t at = directory(table); at + 8 <= image.size()) {
    const uint64_t first = load_u32(bytes + at), count = load_u32(bytes + at + 4);
    if (first <= image.size() && (image.size() - first) / kRecordSize >= count) {
      return TableView{image, bytes + first, static_cast<size_t>(count)};
    }
  }
  return TableView{image, nullptr, 0};
}

TableView table_view(std::string_view image, Table table) noexcept {
  if (const TableView* known = registered_view(image, table)) return *known;
  return records_of(image, table);
}

namespace {

// The first record of hash `h` found through the table's slots, or the record count.
size_t slotted_lower_bound(const TableView& table, uint32_t h) noexcept {
  const HashSlots& slots = table.slots;
  const HashSlots::Probe probe = slots.probe(h);
  const uint32_t index_mask = slots.index_mask();
  // The record a slot names when it is the first of hash `h`, else the record count.
  const auto record_at = [&](size_t at) -> size_t {
    const uint32_t slot = slots.slots[at];
    const size_t i = (slot & index_mask) - 1;
    return (slot & ~index_mask) == probe.tag && hash_at(table.records, i) == h ? i : table.count;
  };
  // Most searches end at their first slot, empty or theirs.
  if (slots.slots[probe.slot] == 0) return table.count;
  if (const size_t i = record_at(probe.slot); i != table.count) return i;
    // A hash's run of taken slots never wraps round and always ends at an empty one (see
    // slots_of), so the rest of it is read four slots at a time.
#if defined(__SSE2__)
  const __m128i tag = _mm_set1_epi32(static_cast<int>(probe.tag));
  const __m128i tags = _mm_set1_epi32(static_cast<int>(~index_mask));
  for (size_t at = probe.slot + 1;; at += 4) {
    const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(slots.slots + at));
    const unsigned empty = static_cast<unsigned>(
        _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(four, _mm_setzero_si128()))));
    unsigned same = static_cast<unsigned>(
        _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(four, tags), tag))));
    same &= empty ? (empty & (0u - empty)) - 1 : 0xFu;  // the taken slots before an empty one
    for (; same != 0; same &= same - 1) {
      const size_t i = record_at(at + static_cast<size_t>(std::countr_zero(same)));
      if (i != table.count) return i;
    }
    if (empty) return table.count;
  }
#else
  for (size_t at = probe.slot + 1; slots.slots[at] != 0; ++at) {
    if (const size_t i = record_at(at); i != table.count) return i;
  }
  return table.count;
#endif
}

}  // namespace

size_t lower_bound(const TableView& table, uint32_t h) noexcept {
  count_searches(1);
  if (table.slots.slots) return slotted_lower_bound(table, h);
  const unsigned char* const records = table.records;
  size_t lo = 0, hi = table.count;
  // The midpoints of the plain lower-bound search below, chosen without branches: its branch
  // goes either way at random. The first records it reads are the same for every key and stay
  // cached; further down, the two possible next records are fetched while this one is read.
  while (hi - lo > 512) {
    const size_t mid = lo + (hi - lo) / 2;
    const bool below = hash_at(records, mid) < h;
    lo = below ? mid + 1 : lo;
    hi = below ? hi : mid;
  }
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    __builtin_prefetch(records + kRecordSize * (lo + (mid - lo) / 2));
    __builtin_prefetch(records + kRecordSize * (mid + 1 + (hi - mid - 1) / 2));
    const bool below = hash_at(records, mid) < h;
    lo = below ? mid + 1 : lo;
    hi = below ? hi : mid;
  }
  return lo;
}

namespace {

// The interleaved bisection of a batch (see kernels.hpp), into `bounds`.
void bisect_together(const TableView& table, const uint32_t* hashes, size_t* bounds,
                     size_t count) noexcept {
  // Record numbers fit in 32 bits, as the record count does.
  const unsigned char* const records = table.records;
  const uint32_t n = static_cast<uint32_t>(table.count);
  uint32_t los[kMaxBatch], his[kMaxBatch];
  for (size_t k = 0; k < count; ++k) {
    los[k] = 0;
    his[k] = n;
  }
  // After r rounds every search has between (n + 1) / 2^r - 1 and n / 2^r records left (rounded
  // down), so while n / 2^r is 2 or more every search is still going and its midpoint lies inside
  // the array; only the last round, when n / 2^r is 1, needs to tell finished searches apart.
  rounds()(records, n, hashes, count, los, his);
  for (size_t k = 0; k < count; ++k) {
    // lo is n only for a finished search, whose read is then ignored.
    const uint32_t lo = los[k];
    const uint32_t below = n > 0 && hash_at(records, lo - (lo == n)) < hashes[k];
    bounds[k] = lo + (below & (lo < his[k]));
  }
}

}  // namespace

void lower_bounds(const TableView& table, const uint32_t* hashes, size_t* bounds,
                  size_t count) noexcept {
  if (count <= kMaxPlainBatch) {
    for (size_t k = 0; k < count; ++k) bounds[k] = lower_bound(table, hashes[k]);
    return;
  }
  if (table.slots.slots) {
    // Every key's first slot is fetched before any is read, so that the reads overlap.
    for (size_t k = 0; k < count; ++k) {
      __builtin_prefetch(table.slots.slots + table.slots.probe(hashes[k]).slot);
    }
    for (size_t k = 0; k < count; ++k) bounds[k] = lower_bound(table, hashes[k]);
  } else {
    count_searches(count);
    bisect_together(table, hashes, bounds, count);
  }
  // The key and text a lookup then reads lie anywhere in the pool: fetched now, all together.
  const auto* image = reinterpret_cast<const unsigned char*>(table.image.data());
  for (size_t k = 0; k < count; ++k) {
    if (bounds[k] == table.count) continue;
    const unsigned char* r = table.records + kRecordSize * bounds[k];
    if (const uint32_t key = load_u32(r + 4); key < table.image.size()) {
      __builtin_prefetch(image + key);
    }
    if (const uint32_t text = load_u32(r + 12); text < table.image.size()) {
      __builtin_prefetch(image + text);
    }
  }
}

namespace {

// A key or text of a record: range-checked and checked as UTF-8, on the fast path without a call,
// otherwise through the checked reader, which throws its message.
inline __attribute__((always_inline)) std::string_view checked_text(std::string_view image,
                                                                    uint64_t offset,
                                                                    uint64_t length) {
  if (offset <= image.size() && image.size() - offset >= length) {
    const std::string_view slice = image.substr(offset, length);
    if (text::valid_utf8(slice)) return slice;
  }
  return detail::text_at(image, offset, length);
}

// The records of a table whose whole array lies inside the image, read in place.
struct InPlace {
  const detail::TableView& table;

  size_t count() const noexcept { return table.count; }
  uint32_t hash(size_t i) const noexcept { return hash_at(table.records, i); }
  Record record(size_t i) const noexcept {
    const unsigned char* at = table.records + kRecordSize * i;
    return Record{load_u32(at), load_u32(at + 4), load_u32(at + 8), load_u32(at + 12),
                  load_u32(at + 16)};
  }
};

// The records of any other table, each read through the checked primitive.
struct Checked {
  const Whole& whole;
  Table table;
  uint64_t base;  // of the record array
  size_t n;

  size_t count() const noexcept { return n; }
  uint32_t hash(size_t i) const { return detail::u32_at(whole.bytes(), base + kRecordSize * i); }
  Record record(size_t i) const { return whole.record(table, i); }
};

// The scan of the records of hash `h` from their lower bound `lo`, over either reader. Every
// candidate's key is read and checked before it is compared, whatever its length, so a bad key on
// the path aborts the lookup even when it could not have matched. `matches(candidate)` compares;
// past kScannedCollisions the rest of the run is searched by the whole key, which `whole_key()`
// gives. `key_valid` tells that the key is known to be UTF-8: a candidate equal to it is UTF-8
// too, so it is compared first and only one that differs is checked.
template <class Records, class Matches, class WholeKey>
std::optional<Entry> scan(std::string_view image, const Records& records, uint32_t h, size_t lo,
                          bool key_valid, Matches&& matches, WholeKey&& whole_key) {
  const size_t n = records.count();
  for (size_t i = lo; i < n && records.hash(i) == h; ++i) {
    if (i - lo == kScannedCollisions) {
      return search_by_key(image, i, n, h, whole_key(),
                           [&records](size_t k) { return records.record(k); });
    }
    const Record r = records.record(i);
    count_candidate();
    if (key_valid && r.key_offset <= image.size() && image.size() - r.key_offset >= r.key_length) {
      const std::string_view same = image.substr(r.key_offset, r.key_length);
      if (matches(same)) return Entry{same, checked_text(image, r.text_offset, r.text_length)};
    }
    const std::string_view candidate = checked_text(image, r.key_offset, r.key_length);
    if (matches(candidate)) {
      return Entry{candidate, checked_text(image, r.text_offset, r.text_length)};
    }
  }
  return std::nullopt;
}

std::optional<Entry> scan_for(std::string_view image, const auto& records, std::string_view key,
                              uint32_t h, size_t lo, bool key_valid) {
  return scan(
      image, records, h, lo, key_valid,
      [key](std::string_view candidate) { return candidate == key; }, [key] { return key; });
}

}  // namespace

std::optional<Entry> entry_from(const TableView& table, std::string_view key, uint32_t h, size_t lo,
                                bool key_valid) {
  return scan_for(table.image, InPlace{table}, key, h, lo, key_valid);
}

std::optional<Entry> entry_from(const TableView& table, std::string_view head,
                                std::string_view tail, uint32_t h, size_t lo) {
  // Most keys looked up this way (the marker key of every tag) have no record of their hash, so
  // the key is compared in its two parts and joined only for a run long enough to be searched.
  const size_t size = head.size() + tail.size();
  std::string joined;
  return scan(
      table.image, InPlace{table}, h, lo, false,
      [&](std::string_view candidate) {
        return candidate.size() == size && candidate.starts_with(head) && candidate.ends_with(tail);
      },
      [&]() -> std::string_view {
        joined.reserve(size);
        joined.append(head).append(tail);
        return joined;
      });
}

}  // namespace detail

std::optional<Entry> Whole::entry(Table table, std::string_view key) const {
  const uint32_t h = text_hash(key);
  // A table whose whole record array lies inside the image is searched without range checks: no
  // read of a record can fail. Keys and texts are range-checked and checked as UTF-8 either way.
  if (const detail::TableView view = detail::table_view(image_, table); view.records) {
    return detail::entry_from(view, key, h, detail::lower_bound(view, h));
  }
  const detail::Checked records{*this, table, detail::u32_at(image_, directory(table)), len(table)};
  detail::count_searches(1);
  size_t lo = 0, hi = records.count();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (records.hash(mid) < h) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return detail::scan_for(image_, records, key, h, lo, false);
}

}  // namespace glyphloom
