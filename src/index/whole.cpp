#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "glyphloom/index.hpp"
#include "read.hpp"
#include "search.hpp"
#include "work.hpp"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

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

namespace {

uint32_t load_u32(const unsigned char* p) noexcept {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

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

// utf8::valid for the short keys and texts of records, without a call: ASCII, or a character or
// two, mostly. It accepts exactly what the decoder accepts.
inline __attribute__((always_inline)) bool valid_text(std::string_view s) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    if (n - i >= 8) {
      uint64_t word;
      std::memcpy(&word, p + i, sizeof word);
      if ((word & 0x8080808080808080ULL) == 0) {
        i += 8;
        continue;
      }
    }
    const unsigned lead = p[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t length;
    unsigned low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (n - i < length || p[i + 1] < low || p[i + 1] > high) return false;
    for (size_t k = 2; k < length; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace

namespace detail {

namespace {

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

std::atomic<const char*> static_image_data{nullptr};
std::atomic<size_t> static_image_size{0};

struct Buckets {
  std::vector<uint32_t> starts[kTableCount];
};

// The bucket starts of every large table of `image`, in one pass over each. Record numbers fit
// in 32 bits, as the record count does.
Buckets buckets_of(std::string_view image) {
  Buckets buckets;
  for (uint32_t t = 0; t < kTableCount; ++t) {
    const TableView view = records_of(image, static_cast<Table>(t));
    if (!view.records || view.count < kMinBucketedRecords) continue;
    std::vector<uint32_t>& starts = buckets.starts[t];
    starts.assign((size_t{1} << kBucketBits) + 1, static_cast<uint32_t>(view.count));
    size_t next = 0;  // the first bucket whose start is not set yet
    for (size_t i = 0; i < view.count; ++i) {
      const size_t bucket = load_u32(view.records + kRecordSize * i) >> (32 - kBucketBits);
      while (next <= bucket) starts[next++] = static_cast<uint32_t>(i);
    }
  }
  return buckets;
}

const uint32_t* starts_for(std::string_view image, Table table) {
  if (image.data() != static_image_data.load(std::memory_order_acquire) ||
      image.size() != static_image_size.load(std::memory_order_relaxed)) {
    return nullptr;
  }
  static const Buckets buckets = buckets_of(image);
  const std::vector<uint32_t>& starts = buckets.starts[static_cast<uint32_t>(table)];
  return starts.empty() ? nullptr : starts.data();
}

}  // namespace

void register_static_image(std::string_view image) noexcept {
  static_image_size.store(image.size(), std::memory_order_relaxed);
  static_image_data.store(image.data(), std::memory_order_release);
}

TableView table_view(std::string_view image, Table table) noexcept {
  TableView view = records_of(image, table);
  if (view.records && view.count >= kMinBucketedRecords) {
    try {
      view.starts = starts_for(image, table);
    } catch (...) {
      // Without memory for the starts the table is bisected whole, as any other.
    }
  }
  return view;
}

size_t lower_bound(const TableView& table, uint32_t h) noexcept {
  count_searches(1);
  const unsigned char* const records = table.records;
  const auto hash_at = [records](size_t i) { return load_u32(records + kRecordSize * i); };
  size_t lo = 0, hi = table.count;
  if (table.starts) {
    const uint32_t bucket = h >> (32 - kBucketBits);
    lo = table.starts[bucket];
    hi = table.starts[bucket + 1];
  }
  // The midpoints of the plain lower-bound search below, chosen without branches: its branch
  // goes either way at random. The first records it reads are the same for every key and stay
  // cached; further down, the two possible next records are fetched while this one is read.
  while (hi - lo > 512) {
    const size_t mid = lo + (hi - lo) / 2;
    const bool below = hash_at(mid) < h;
    lo = below ? mid + 1 : lo;
    hi = below ? hi : mid;
  }
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    __builtin_prefetch(records + kRecordSize * (lo + (mid - lo) / 2));
    __builtin_prefetch(records + kRecordSize * (mid + 1 + (hi - mid - 1) / 2));
    const bool below = hash_at(mid) < h;
    lo = below ? mid + 1 : lo;
    hi = below ? hi : mid;
  }
  return lo;
}

// The rounds of `lower_bounds` while every search is still going (see there), for `count` keys
// whose bounds start as los[k] = 0, his[k] = n. Each search takes the same midpoints as
// `lower_bound`, one step of every search per round: the searches do not wait on one another, so
// their reads overlap; the vector forms make the choices of several searches at once, and
// unsigned comparisons are signed ones with the top bits flipped.
void rounds_portable(const unsigned char* records, uint32_t n, const uint32_t* hashes, size_t count,
                     uint32_t* los, uint32_t* his) noexcept {
  for (uint32_t remaining = n; remaining >= 2; remaining /= 2) {
    for (size_t k = 0; k < count; ++k) {
      const uint32_t lo = los[k], hi = his[k];
      const uint32_t mid = lo + (hi - lo) / 2;
      const bool below = load_u32(records + kRecordSize * mid) < hashes[k];
      los[k] = below ? mid + 1 : lo;
      his[k] = below ? hi : mid;
    }
  }
}

#if defined(__SSE2__)
// Four searches to a vector, their four records read one by one. Keys past `count` repeat the
// last one.
void rounds_sse2(const unsigned char* records, uint32_t n, const uint32_t* hashes, size_t count,
                 uint32_t* los, uint32_t* his) noexcept {
  constexpr size_t kGroups = kMaxBatch / 4;
  const size_t groups = (count + 3) / 4;
  const __m128i flip = _mm_set1_epi32(INT32_MIN), one = _mm_set1_epi32(1);
  __m128i lo_v[kGroups], hi_v[kGroups], h_v[kGroups];
  for (size_t g = 0; g < groups; ++g) {
    uint32_t h[4];
    for (size_t k = 0; k < 4; ++k) h[k] = hashes[std::min(4 * g + k, count - 1)];
    h_v[g] = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h)), flip);
    lo_v[g] = _mm_setzero_si128();
    hi_v[g] = _mm_set1_epi32(static_cast<int>(n));
  }
  for (uint32_t remaining = n; remaining >= 2; remaining /= 2) {
    for (size_t g = 0; g < groups; ++g) {
      const __m128i mid =
          _mm_add_epi32(lo_v[g], _mm_srli_epi32(_mm_sub_epi32(hi_v[g], lo_v[g]), 1));
      const auto hash_at = [&](__m128i lane) {
        const auto i = static_cast<uint32_t>(_mm_cvtsi128_si32(lane));
        return _mm_cvtsi32_si128(static_cast<int>(load_u32(records + kRecordSize * i)));
      };
      const __m128i read =
          _mm_unpacklo_epi64(_mm_unpacklo_epi32(hash_at(mid), hash_at(_mm_shuffle_epi32(mid, 1))),
                             _mm_unpacklo_epi32(hash_at(_mm_shuffle_epi32(mid, 2)),
                                                hash_at(_mm_shuffle_epi32(mid, 3))));
      const __m128i below = _mm_cmplt_epi32(_mm_xor_si128(read, flip), h_v[g]);
      lo_v[g] = _mm_or_si128(_mm_and_si128(below, _mm_add_epi32(mid, one)),
                             _mm_andnot_si128(below, lo_v[g]));
      hi_v[g] = _mm_or_si128(_mm_and_si128(below, hi_v[g]), _mm_andnot_si128(below, mid));
    }
  }
  for (size_t g = 0; g < groups; ++g) {
    alignas(16) uint32_t lo[4], hi[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lo), lo_v[g]);
    _mm_store_si128(reinterpret_cast<__m128i*>(hi), hi_v[g]);
    for (size_t k = 0; k < 4 && 4 * g + k < count; ++k) {
      los[4 * g + k] = lo[k];
      his[4 * g + k] = hi[k];
    }
  }
}
#endif

#if defined(__x86_64__) || defined(__i386__)
// Eight searches to a vector, their eight records read by one gather: record i's hash is the
// 32-bit word 5 i of the array. Used where the processor has AVX2, for tables whose word offsets
// fit the gather's signed 32-bit indices.
__attribute__((target("avx2"))) void rounds_avx2(const unsigned char* records, uint32_t n,
                                                 const uint32_t* hashes, size_t count,
                                                 uint32_t* los, uint32_t* his) noexcept {
  constexpr size_t kGroups = kMaxBatch / 8;
  const size_t groups = (count + 7) / 8;
  const __m256i flip = _mm256_set1_epi32(INT32_MIN), one = _mm256_set1_epi32(1);
  __m256i lo_v[kGroups], hi_v[kGroups], h_v[kGroups];
  for (size_t g = 0; g < groups; ++g) {
    uint32_t h[8];
    for (size_t k = 0; k < 8; ++k) h[k] = hashes[std::min(8 * g + k, count - 1)];
    h_v[g] = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(h)), flip);
    lo_v[g] = _mm256_setzero_si256();
    hi_v[g] = _mm256_set1_epi32(static_cast<int>(n));
  }
  const int* words = reinterpret_cast<const int*>(records);
  for (uint32_t remaining = n; remaining >= 2; remaining /= 2) {
    for (size_t g = 0; g < groups; ++g) {
      const __m256i mid =
          _mm256_add_epi32(lo_v[g], _mm256_srli_epi32(_mm256_sub_epi32(hi_v[g], lo_v[g]), 1));
      const __m256i word = _mm256_add_epi32(_mm256_slli_epi32(mid, 2), mid);
      const __m256i read = _mm256_i32gather_epi32(words, word, 4);
      const __m256i below = _mm256_cmpgt_epi32(h_v[g], _mm256_xor_si256(read, flip));
      lo_v[g] = _mm256_blendv_epi8(lo_v[g], _mm256_add_epi32(mid, one), below);
      hi_v[g] = _mm256_blendv_epi8(mid, hi_v[g], below);
    }
  }
  for (size_t g = 0; g < groups; ++g) {
    alignas(32) uint32_t lo[8], hi[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lo), lo_v[g]);
    _mm256_store_si256(reinterpret_cast<__m256i*>(hi), hi_v[g]);
    for (size_t k = 0; k < 8 && 8 * g + k < count; ++k) {
      los[8 * g + k] = lo[k];
      his[8 * g + k] = hi[k];
    }
  }
}
#endif

constexpr size_t kMaxPlainBatch = 2;
constexpr size_t kMinGatherBatch = 16;

void lower_bounds(const TableView& table, const uint32_t* hashes, size_t* bounds,
                  size_t count) noexcept {
  // Record numbers fit in 32 bits, as the record count does.
  const unsigned char* const records = table.records;
  const uint32_t n = static_cast<uint32_t>(table.count);
  // A search or two gain nothing from interleaving, nor does one within a bucket: the plain
  // search is quickest.
  if (count <= kMaxPlainBatch || table.starts) {
    for (size_t k = 0; k < count; ++k) bounds[k] = lower_bound(table, hashes[k]);
    return;
  }
  count_searches(count);
  uint32_t los[kMaxBatch], his[kMaxBatch];
  for (size_t k = 0; k < count; ++k) {
    los[k] = 0;
    his[k] = n;
  }
  // After r rounds every search has between (n + 1) / 2^r - 1 and n / 2^r records left (rounded
  // down), so while n / 2^r is 2 or more every search is still going and its midpoint lies inside
  // the array; only the last round, when n / 2^r is 1, needs to tell finished searches apart.
  if (count > 0) {
#if defined(__x86_64__) || defined(__i386__)
    // A gather pays off only over many searches: for a few, reading their records one by one
    // is faster (and much faster where gathers are microcoded).
    if (count >= kMinGatherBatch && n < (1u << 28) && __builtin_cpu_supports("avx2")) {
      rounds_avx2(records, n, hashes, count, los, his);
    } else
#endif
    {
#if defined(__SSE2__)
      rounds_sse2(records, n, hashes, count, los, his);
#else
      rounds_portable(records, n, hashes, count, los, his);
#endif
    }
  }
  const uint32_t remaining = n == 0 ? 0 : 1;
  if (remaining == 1) {
    for (size_t k = 0; k < count; ++k) {
      // lo is n only for a finished search, whose read is then ignored.
      const uint32_t lo = los[k];
      const uint32_t below = load_u32(records + kRecordSize * (lo - (lo == n))) < hashes[k];
      los[k] = lo + (below & (lo < his[k]));
    }
  }
  // The key and text a lookup then reads lie anywhere in the pool: fetched now, all together.
  const auto* image = reinterpret_cast<const unsigned char*>(table.image.data());
  for (size_t k = 0; k < count; ++k) {
    bounds[k] = los[k];
    if (los[k] == n) continue;
    const unsigned char* r = records + kRecordSize * los[k];
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
                                                                    uint32_t offset,
                                                                    uint32_t length) {
  if (offset <= image.size() && image.size() - offset >= length) {
    const std::string_view slice = image.substr(offset, length);
    if (valid_text(slice)) return slice;
  }
  return detail::text_at(image, offset, length);
}

Record record_of(const unsigned char* records, size_t i) noexcept {
  const unsigned char* at = records + kRecordSize * i;
  return Record{load_u32(at), load_u32(at + 4), load_u32(at + 8), load_u32(at + 12),
                load_u32(at + 16)};
}

// The scan of the records of hash `h` from their lower bound `lo`. Every candidate's key is read
// and checked before it is compared, whatever its length, so a bad key on the path aborts the
// lookup even when it could not have matched. `matches(candidate)` compares; past
// kScannedCollisions the rest of the run is searched by the whole key, which `whole_key()` gives.
// `key_valid` tells that the key is known to be UTF-8: a candidate equal to it is UTF-8 too, so it
// is compared first and only one that differs is checked.
template <class Matches, class WholeKey>
std::optional<Entry> scan(const TableView& table, uint32_t h, size_t lo, bool key_valid,
                          Matches&& matches, WholeKey&& whole_key) {
  const std::string_view image = table.image;
  const unsigned char* const records = table.records;
  const size_t n = table.count;
  for (size_t i = lo; i < n && load_u32(records + kRecordSize * i) == h; ++i) {
    if (i - lo == kScannedCollisions) {
      return search_by_key(image, i, n, h, whole_key(),
                           [records](size_t k) { return record_of(records, k); });
    }
    const Record r = record_of(records, i);
    count_candidate();
    if (key_valid && r.key_offset <= image.size() && image.size() - r.key_offset >= r.key_length) {
      const std::string_view same = image.substr(r.key_offset, r.key_length);
      if (matches(same)) return Entry{same, checked_text(image, r.text_offset, r.text_length)};
    }
    const std::string_view candidate = checked_text(image, r.key_offset, r.key_length);
    if (matches(candidate))
      return Entry{candidate, checked_text(image, r.text_offset, r.text_length)};
  }
  return std::nullopt;
}

}  // namespace

std::optional<Entry> entry_from(const TableView& table, std::string_view key, uint32_t h, size_t lo,
                                bool key_valid) {
  return scan(
      table, h, lo, key_valid, [key](std::string_view candidate) { return candidate == key; },
      [key] { return key; });
}

std::optional<Entry> entry_from(const TableView& table, std::string_view head,
                                std::string_view tail, uint32_t h, size_t lo) {
  // Most keys looked up this way (the marker key of every tag) have no record of their hash, so
  // the key is compared in its two parts and joined only for a run long enough to be searched.
  const size_t size = head.size() + tail.size();
  std::string joined;
  return scan(
      table, h, lo, false,
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
  // read of a record can fail. Keys and texts are still range-checked and checked as UTF-8, in
  // the same order, through the checked reader when anything is wrong.
  if (const detail::TableView view = detail::table_view(image_, table); view.records) {
    return detail::entry_from(view, key, h, detail::lower_bound(view, h));
  }
  const uint64_t base = detail::u32_at(image_, directory(table));
  const size_t n = len(table);
  auto hash_at = [&](size_t i) { return detail::u32_at(image_, base + kRecordSize * i); };
  detail::count_searches(1);
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
    if (i - lo == kScannedCollisions) {
      return search_by_key(image_, i, n, h, key, [&](size_t k) { return record(table, k); });
    }
    Record r = record(table, i);
    detail::count_candidate();
    // As above: every candidate is read and checked before it is compared.
    std::string_view candidate = detail::text_at(image_, r.key_offset, r.key_length);
    if (candidate == key) {
      return Entry{candidate, detail::text_at(image_, r.text_offset, r.text_length)};
    }
  }
  return std::nullopt;
}

}  // namespace glyphloom
