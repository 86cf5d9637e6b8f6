// The chunked index: set-once chunk slots, the `missing` set, and the four lookups over them.
#include "glyphloom/chunked.hpp"

#include <algorithm>
#include <cstring>

#include "chunk_format.hpp"
#include "chunked_lookup.hpp"
#include "glyphloom/meta.hpp"
#include "read.hpp"

namespace glyphloom {

struct Chunked::Chunk {
  std::string owned;  // empty for a borrowed chunk
  Whole whole;
};

ChunkOrder chunk_order(Table table, std::string_view key) {
  if (key.empty()) return {0, 0};
  const uint32_t secondary = text_hash(key);
  if (table == Table::Spellings) return {utf8::decode(key, 0).cp, secondary};
  // substr(0, npos) is the whole key when it has a single word.
  return {text_hash(key.substr(0, key.find_first_of("- "))), secondary};
}

Chunked::Chunked(std::string header, size_t chunk_count)
    : header_(std::move(header)), slots_(chunk_count) {}

Chunked::~Chunked() {
  for (auto& slot : slots_) delete slot.load(std::memory_order_acquire);
}

std::variant<std::shared_ptr<Chunked>, std::string> Chunked::open(std::string header) {
  using detail::u32_at;
  if (header.size() < detail::kHeaderFixed || std::memcmp(header.data(), "GLXC", 4) != 0) {
    return std::string("not a glyphloom chunked header (magic GLXC missing)");
  }
  const uint32_t chunks = u32_at(header, 4);
  const uint32_t tables = u32_at(header, 8);
  const uint32_t base = u32_at(header, 12);
  if (tables < kTableCount) return std::string("glyphloom chunked header has too few tables");
  auto malformed = [](const std::string& why) {
    return std::string("glyphloom chunked header is malformed: ") + why;
  };
  const uint64_t size = header.size();
  if (detail::bound_at(tables, 0) > size) return malformed("directory outside the header");
  // Bounds of the tables must end before the filter, which follows bound base - 1.
  const uint64_t bounds_end = base == detail::kNoBase ? UINT64_MAX : base;
  uint64_t referenced = base == detail::kNoBase ? 0 : uint64_t{base} + 1;
  for (uint32_t t = 0; t < kTableCount; ++t) {
    const uint64_t at = detail::directory_at(t);
    const uint64_t first = u32_at(header, at), count = u32_at(header, at + 4);
    if (count == 0) continue;
    const uint64_t end = first + count;
    if (end > bounds_end || detail::bound_at(tables, end) > size) {
      return malformed("bounds of table " + std::to_string(t) + " outside their array");
    }
    referenced = std::max(referenced, end);
  }
  if (base != detail::kNoBase) {
    const uint64_t at = detail::bloom_at(tables, base);
    if (at + 8 > size || (uint64_t{u32_at(header, at)} + 7) / 8 > size - at - 8) {
      return malformed("filter outside the header");
    }
  }
  if (chunks != referenced) {
    return malformed("it counts " + std::to_string(chunks) + " chunks but refers to " +
                     std::to_string(referenced));
  }
  return std::make_shared<Chunked>(std::move(header), chunks);
}

std::optional<size_t> Chunked::base_chunk() const {
  if (header_.size() < detail::kHeaderFixed) {
    throw InternalError("chunked index header shorter than 16 bytes");
  }
  const uint32_t base = detail::u32_at(header_, 12);
  if (base == detail::kNoBase) return std::nullopt;
  return base;
}

std::optional<Whole> Chunked::chunk(size_t chunk) const noexcept {
  if (chunk >= slots_.size()) return std::nullopt;
  if (const Chunk* image = slots_[chunk].load(std::memory_order_acquire)) return image->whole;
  return std::nullopt;
}

std::optional<Whole> Chunked::loaded(size_t chunk) const {
  if (chunk >= slots_.size()) {
    throw InternalError("chunked index has no chunk " + std::to_string(chunk) + " (it has " +
                        std::to_string(slots_.size()) + ")");
  }
  if (const Chunk* image = slots_[chunk].load(std::memory_order_acquire)) return image->whole;
  std::lock_guard lock(missing_lock_);
  if (poisoned_) throw InternalError("missing chunks");
  // A supplier that filled the slot meanwhile removes it from the set under this lock, so look
  // again here: otherwise a chunk already present could be left noted as missing.
  if (const Chunk* image = slots_[chunk].load(std::memory_order_acquire)) return image->whole;
  try {
    missing_.insert(chunk);
  } catch (...) {
    poisoned_ = true;
    throw;
  }
  return std::nullopt;
}

std::optional<std::string> Chunked::supply(size_t chunk, std::string bytes) {
  auto image = std::make_unique<Chunk>();
  image->owned = std::move(bytes);
  // Viewed only once the string has its final home, so a short (inline) string is seen right.
  image->whole = Whole(image->owned);
  return fill(chunk, std::move(image));
}

std::optional<std::string> Chunked::supply_borrowed(size_t chunk, std::string_view bytes) {
  auto image = std::make_unique<Chunk>();
  image->whole = Whole(bytes);
  return fill(chunk, std::move(image));
}

std::optional<std::string> Chunked::fill(size_t chunk, std::unique_ptr<Chunk> image) {
  if (chunk >= slots_.size()) {
    return "no chunk " + std::to_string(chunk) + " in this chunked index";
  }
  auto opened = Index::open(image->whole.bytes());
  if (auto* error = std::get_if<std::string>(&opened)) return std::move(*error);
  const Chunk* empty = nullptr;
  if (!slots_[chunk].compare_exchange_strong(empty, image.get(), std::memory_order_acq_rel,
                                             std::memory_order_acquire)) {
    return "chunk " + std::to_string(chunk) + " is already supplied";
  }
  image.release();
  std::lock_guard lock(missing_lock_);
  if (!poisoned_) missing_.erase(chunk);
  return std::nullopt;
}

std::vector<size_t> Chunked::missing() const {
  std::lock_guard lock(missing_lock_);
  if (poisoned_) throw InternalError("missing chunks");
  return std::vector<size_t>(missing_.begin(), missing_.end());
}

std::vector<size_t> Chunked::take_missing() {
  std::lock_guard lock(missing_lock_);
  if (poisoned_) throw InternalError("missing chunks");
  std::vector<size_t> taken(missing_.begin(), missing_.end());
  missing_.clear();
  return taken;
}

namespace detail {

struct ChunkedAccess {
  static void poison(const Chunked& chunked) {
    std::lock_guard lock(chunked.missing_lock_);
    chunked.poisoned_ = true;
  }
};

void poison_missing(const Chunked& chunked) {
  ChunkedAccess::poison(chunked);
}

namespace {

struct Header {
  std::string_view bytes;
  uint32_t tables;
  uint32_t base;
};

Header header_of(const Chunked& chunked) {
  const std::string_view bytes = chunked.header();
  if (bytes.size() < kHeaderFixed)
    throw InternalError("chunked index header shorter than 16 bytes");
  return Header{bytes, u32_at(bytes, 8), u32_at(bytes, 12)};
}

struct TableChunks {
  uint32_t first;
  uint32_t bounds;
  uint32_t entries;
};

TableChunks table_chunks(const Header& header, Table table) {
  const uint32_t t = static_cast<uint32_t>(table);
  // Past the directory lie the bounds; reading them as a directory entry would be nonsense.
  if (t >= header.tables) {
    throw InternalError("chunked index header has no table " + std::to_string(t) + " (it has " +
                        std::to_string(header.tables) + ")");
  }
  const uint64_t at = directory_at(t);
  return TableChunks{u32_at(header.bytes, at), u32_at(header.bytes, at + 4),
                     u32_at(header.bytes, at + 8)};
}

ChunkOrder bound(const Header& header, uint64_t i) {
  const uint64_t at = bound_at(header.tables, i);
  return {u32_at(header.bytes, at), u32_at(header.bytes, at + 4)};
}

// True when the filter shows the name is certainly absent.
bool filtered_out(const Header& header, const Whole& base, std::string_view key) {
  const uint64_t at = bloom_at(header.tables, header.base);
  const uint32_t bits = u32_at(header.bytes, at);
  if (bits == 0) return false;
  if (!bloom_probes(key, [&](std::string_view k) { return base.entry(Table::Names, k); })) {
    return false;
  }
  const uint32_t probes = u32_at(header.bytes, at + 4);
  // The whole array is range-checked up front, so a short one fails every probed lookup alike.
  const std::string_view array = slice_at(header.bytes, at + 8, (uint64_t{bits} + 7) / 8);
  const BloomHashes hashes = bloom_hashes(key);
  // Positions repeat with period `bits`, so later probes decide nothing new; this also bounds
  // the work a hostile probe count can ask for by the size of the array.
  const uint64_t distinct = std::min<uint64_t>(probes, bits);
  for (uint64_t j = 0; j < distinct; ++j) {
    const uint64_t position = bloom_position(hashes, j, bits);
    if (!(static_cast<unsigned char>(array[position / 8]) >> (position % 8) & 1)) return true;
  }
  return false;
}

ChunkStep step_at(const Chunked& chunked, uint64_t chunk) {
  if (chunk >= chunked.chunk_count()) {
    throw InternalError("chunked index has no chunk " + std::to_string(chunk) + " (it has " +
                        std::to_string(chunked.chunk_count()) + ")");
  }
  return ChunkStep{false, chunked.chunk(chunk)};
}

}  // namespace

std::optional<Entry> chunked_entry(const Chunked& chunked, Table table, std::string_view key) {
  const Header header = header_of(chunked);
  if (header.base != kNoBase) {
    const std::optional<Whole> base = chunked.loaded(header.base);
    if (!base) return std::nullopt;
    if (auto found = base->entry(table, key)) return found;
    if (table == Table::Names) {
      if (is_reserved_name(key)) return std::nullopt;
      if (filtered_out(header, *base, key)) return std::nullopt;
    }
  }
  const TableChunks chunks = table_chunks(header, table);
  if (chunks.bounds == 0) return std::nullopt;
  const ChunkOrder order = chunk_order(table, key);
  if (order < bound(header, chunks.first)) return std::nullopt;
  uint64_t lo = chunks.first, hi = uint64_t{chunks.first} + chunks.bounds;
  while (lo < hi) {
    const uint64_t mid = lo + (hi - lo) / 2;
    if (bound(header, mid) <= order) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  // lo > first: bound[first] is not above the order.
  if (lo - 1 >= chunked.chunk_count()) {
    throw InternalError("chunked index has no chunk " + std::to_string(lo - 1) + " (it has " +
                        std::to_string(chunked.chunk_count()) + ")");
  }
  const std::optional<Whole> chunk = chunked.loaded(static_cast<size_t>(lo - 1));
  if (!chunk) return std::nullopt;
  return chunk->entry(table, key);
}

size_t chunked_len(const Chunked& chunked, Table table) {
  return table_chunks(header_of(chunked), table).entries;
}

ChunkStep chunked_entries_step(const Chunked& chunked, Table table, size_t step) {
  const Header header = header_of(chunked);
  const TableChunks chunks = table_chunks(header, table);
  uint64_t position = step;
  if (header.base != kNoBase) {
    if (position == 0) return step_at(chunked, header.base);
    --position;
  }
  if (position >= chunks.bounds) return ChunkStep{true, std::nullopt};
  return step_at(chunked, chunks.first + position);
}

}  // namespace detail

}  // namespace glyphloom
