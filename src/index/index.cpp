#include <cstring>

#include "chunked_lookup.hpp"
#include "glyphloom/index.hpp"
#include "read.hpp"

namespace glyphloom {

std::variant<Index, std::string> Index::open(std::string_view bytes) {
  if (bytes.size() < 8 || std::memcmp(bytes.data(), "GLX1", 4) != 0) {
    return std::string("not a glyphloom index (magic GLX1 missing)");
  }
  if (detail::u32_at(bytes, 4) < kTableCount) {
    return std::string("glyphloom index has too few tables");
  }
  return Index(Whole(bytes));
}

std::optional<Entry> Index::entry(Table table, std::string_view key) const {
  if (chunked_) return detail::chunked_entry(*chunked_, table, key);
  return whole_.entry(table, key);
}

std::optional<std::string_view> Index::get(Table table, std::string_view key) const {
  if (auto found = entry(table, key)) return found->text;
  return std::nullopt;
}

size_t Index::len(Table table) const {
  if (chunked_) return detail::chunked_len(*chunked_, table);
  return whole_.len(table);
}

Entries Index::entries(Table table) const {
  return Entries(*this, table);
}

Entries::Entries(Index index, Table table) noexcept : index_(std::move(index)), table_(table) {}

std::optional<Entry> Entries::next() {
  if (!index_.chunked_) {
    if (!started_) {
      current_ = index_.whole_;
      count_ = current_.len(table_);
      started_ = true;
    }
    if (record_ >= count_) return std::nullopt;
    return current_.entry_at(table_, record_++);
  }
  // Chunks are consulted only as the sequence advances; empty slots are skipped.
  while (!started_ || record_ >= count_) {
    detail::ChunkStep step = detail::chunked_entries_step(*index_.chunked_, table_, chunk_step_);
    if (step.done) return std::nullopt;
    ++chunk_step_;
    started_ = true;
    record_ = 0;
    count_ = 0;
    if (step.whole) {
      current_ = *step.whole;
      count_ = current_.len(table_);
    }
  }
  return current_.entry_at(table_, record_++);
}

}  // namespace glyphloom
