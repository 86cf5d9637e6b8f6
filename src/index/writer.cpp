#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "glyphloom/index.hpp"
#include "glyphloom/writer.hpp"

namespace glyphloom {

namespace {

void put_u32(std::string& out, size_t at, uint64_t value) {
  if (value > UINT32_MAX) throw std::length_error("glyphloom image larger than 4 GiB");
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

struct Row {
  uint32_t hash;
  const std::string* key;
  const std::string* text;
};

// Rows of one table in canonical order, the first row of a repeated key kept.
std::vector<Row> canonical_rows(const TableRows& rows) {
  std::vector<Row> out;
  out.reserve(rows.size());
  std::unordered_set<std::string_view> seen;
  for (const auto& [key, text] : rows) {
    if (seen.insert(key).second) out.push_back(Row{text_hash(key), &key, &text});
  }
  std::stable_sort(out.begin(), out.end(), [](const Row& a, const Row& b) {
    return a.hash != b.hash ? a.hash < b.hash : *a.key < *b.key;
  });
  return out;
}

}  // namespace

std::string write_image(const std::vector<TableRows>& tables) {
  const size_t table_count = std::max<size_t>(tables.size(), kTableCount);
  std::vector<std::vector<Row>> sorted(table_count);
  size_t records = 0;
  for (size_t t = 0; t < tables.size(); ++t) {
    sorted[t] = canonical_rows(tables[t]);
    records += sorted[t].size();
  }
  const size_t header = 8 + 8 * table_count;
  std::string image(header + 20 * records, '\0');
  std::memcpy(image.data(), "GLX1", 4);
  put_u32(image, 4, table_count);

  std::unordered_map<std::string_view, size_t> pooled;
  auto pool = [&](const std::string& s) -> size_t {
    auto [it, fresh] = pooled.try_emplace(s, image.size());
    if (fresh) image += s;
    return it->second;
  };
  // The pool is filled table by table, record by record, key before text, so that
  // pooled views stay valid: they point into the callers' strings, not into `image`.
  size_t at = header;
  for (size_t t = 0; t < table_count; ++t) {
    put_u32(image, 8 + 8 * t, at);
    put_u32(image, 12 + 8 * t, sorted[t].size());
    for (const Row& row : sorted[t]) {
      put_u32(image, at, row.hash);
      put_u32(image, at + 4, pool(*row.key));
      put_u32(image, at + 8, row.key->size());
      put_u32(image, at + 12, pool(*row.text));
      put_u32(image, at + 16, row.text->size());
      at += 20;
    }
  }
  return image;
}

}  // namespace glyphloom
