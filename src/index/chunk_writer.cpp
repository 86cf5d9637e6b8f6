#include "glyphloom/chunk_writer.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <unordered_set>

#include "chunk_format.hpp"
#include "glyphloom/chunked.hpp"
#include "glyphloom/index.hpp"
#include "glyphloom/writer.hpp"

namespace glyphloom {

namespace {

constexpr size_t kEmptyImage = 8 + 8 * kTableCount;

size_t row_size(const std::pair<std::string, std::string>& row) {
  return 20 + row.first.size() + row.second.size();
}

void put_u32(std::string& out, uint64_t at, uint64_t value) {
  if (value > UINT32_MAX) throw std::length_error("glyphloom chunked header field beyond 32 bits");
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

struct BoundedChunk {
  Table table;
  ChunkOrder bound;
  TableRows rows;
};

struct Directory {
  size_t first = 0;
  size_t bounds = 0;
  size_t entries = 0;
};

// The table's rows in record order, each key once (its first record, as a whole lookup finds).
TableRows rows_of(const Index& whole, Table table, size_t& bytes) {
  TableRows rows;
  std::unordered_set<std::string_view> seen;
  bytes = 0;
  for (const Entry& e : whole.entries(table)) {
    if (!seen.insert(e.key).second) continue;
    rows.emplace_back(std::string(e.key), std::string(e.text));
    bytes += row_size(rows.back());
  }
  return rows;
}

// Cuts rows (sorted by order pair, then key) into chunks of about `target` bytes, never between
// two rows of equal order: a lookup finds a key in the chunk of the last bound not above its pair.
void cut(Table table, const std::vector<std::pair<ChunkOrder, const TableRows::value_type*>>& rows,
         size_t target, std::vector<BoundedChunk>& out) {
  size_t i = 0;
  while (i < rows.size()) {
    BoundedChunk chunk{table, rows[i].first, {}};
    size_t size = kEmptyImage;
    while (i < rows.size()) {
      size_t j = i, group = 0;
      for (; j < rows.size() && rows[j].first == rows[i].first; ++j)
        group += row_size(*rows[j].second);
      if (!chunk.rows.empty() && size + group > target) break;
      for (; i < j; ++i) chunk.rows.push_back(*rows[i].second);
      size += group;
    }
    out.push_back(std::move(chunk));
  }
}

}  // namespace

std::variant<ChunkSet, std::string> write_chunks(std::string_view image,
                                                 const ChunkOptions& options) {
  auto opened = Index::open(image);
  if (auto* error = std::get_if<std::string>(&opened)) return std::move(*error);
  const Index& whole = std::get<Index>(opened);

  std::vector<TableRows> base(kTableCount);
  std::vector<BoundedChunk> bounded;
  std::vector<Directory> directory(kTableCount);
  TableRows names;  // the Names rows outside the base chunk

  for (uint32_t t = 0; t < kTableCount; ++t) {
    const Table table = Table(t);
    size_t bytes;
    TableRows rows = rows_of(whole, table, bytes);
    directory[t].entries = whole.len(table);
    directory[t].first = bounded.size();
    if (bytes <= options.base_table_limit) {
      base[t] = std::move(rows);
      continue;
    }
    std::vector<std::pair<ChunkOrder, const TableRows::value_type*>> placed;
    for (const auto& row : rows) {
      if (table == Table::Names && detail::is_reserved_name(row.first)) {
        base[t].push_back(row);
      } else {
        placed.emplace_back(chunk_order(table, row.first), &row);
      }
    }
    std::sort(placed.begin(), placed.end(), [](const auto& a, const auto& b) {
      return a.first != b.first ? a.first < b.first : a.second->first < b.second->first;
    });
    cut(table, placed, options.chunk_size, bounded);
    directory[t].bounds = bounded.size() - directory[t].first;
    if (table == Table::Names) {
      for (const auto& [order, row] : placed) names.push_back(*row);
    }
  }

  ChunkSet set;
  // The filter holds exactly the names a lookup will ask it about, decided as the lookup decides.
  std::unordered_set<std::string_view> base_names;
  for (const auto& row : base[0]) base_names.insert(row.first);
  auto in_base = [&](std::string_view key) { return base_names.count(key) > 0; };
  std::vector<detail::BloomHashes> filtered;
  for (const auto& row : names) {
    if (detail::bloom_probes(row.first, in_base))
      filtered.push_back(detail::bloom_hashes(row.first));
  }
  uint64_t bits = 0;
  uint32_t probes = 0;
  if (!filtered.empty() && options.bloom_bits_per_key > 0) {
    bits = std::max<uint64_t>(64, uint64_t{filtered.size()} * options.bloom_bits_per_key);
    if (bits > UINT32_MAX) throw std::length_error("glyphloom absence filter beyond 2^32 bits");
    // k = (m / n) ln 2 minimises the false-positive rate; more than 16 probes buys nothing.
    probes = static_cast<uint32_t>(
        std::clamp<long>(std::lround(options.bloom_bits_per_key * std::log(2.0)), 1, 16));
  }
  std::string filter((bits + 7) / 8, '\0');
  for (const auto& h : filtered) {
    for (uint32_t j = 0; j < probes; ++j) {
      const uint64_t position = detail::bloom_position(h, j, static_cast<uint32_t>(bits));
      filter[position / 8] = static_cast<char>(filter[position / 8] | 1 << (position % 8));
    }
  }
  set.filtered_names = filtered.empty() || bits == 0 ? 0 : filtered.size();
  set.bloom_bits = static_cast<uint32_t>(bits);
  set.bloom_probes = probes;

  const uint64_t base_number = bounded.size();
  std::string& header = set.header;
  header.assign(detail::bloom_at(kTableCount, 0) + 8 * base_number + 8, '\0');
  std::memcpy(header.data(), "GLXC", 4);
  put_u32(header, 4, base_number + 1);
  put_u32(header, 8, kTableCount);
  put_u32(header, 12, base_number);
  for (uint32_t t = 0; t < kTableCount; ++t) {
    const uint64_t at = detail::directory_at(t);
    put_u32(header, at, directory[t].first);
    put_u32(header, at + 4, directory[t].bounds);
    put_u32(header, at + 8, directory[t].entries);
  }
  for (size_t i = 0; i < bounded.size(); ++i) {
    const uint64_t at = detail::bound_at(kTableCount, i);
    put_u32(header, at, bounded[i].bound.first);
    put_u32(header, at + 4, bounded[i].bound.second);
  }
  const uint64_t block = detail::bloom_at(kTableCount, static_cast<uint32_t>(base_number));
  put_u32(header, block, bits);
  put_u32(header, block + 4, probes);
  header += filter;

  for (BoundedChunk& chunk : bounded) {
    std::vector<TableRows> tables(kTableCount);
    tables[static_cast<uint32_t>(chunk.table)] = std::move(chunk.rows);
    set.chunks.push_back(write_image(tables));
  }
  set.chunks.push_back(write_image(base));
  return set;
}

}  // namespace glyphloom
