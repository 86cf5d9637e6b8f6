// What a chunked index offers the Index type; defined with the chunked index.
#pragma once

#include <optional>
#include <string_view>

#include "glyphloom/index.hpp"

namespace glyphloom::detail {

std::optional<Entry> chunked_entry(const Chunked& chunked, Table table, std::string_view key);
size_t chunked_len(const Chunked& chunked, Table table);

// The chunk at position `step` of a table's entry order (base chunk first): `done` past the
// last one; `whole` empty when that chunk's slot is empty (skipped without being noted).
struct ChunkStep {
  bool done;
  std::optional<Whole> whole;
};
ChunkStep chunked_entries_step(const Chunked& chunked, Table table, size_t step);

// Leaves the `missing` lock as a failure while it was held would (only an allocation can fail
// there, which tests cannot provoke).
void poison_missing(const Chunked& chunked);

}  // namespace glyphloom::detail
