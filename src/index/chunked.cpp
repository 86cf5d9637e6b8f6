// Placeholder until the chunked index lands: no operation builds a chunked Index yet.
#include "chunked_lookup.hpp"

namespace glyphloom::detail {

std::optional<Entry> chunked_entry(const Chunked&, Table, std::string_view) {
  return std::nullopt;
}
size_t chunked_len(const Chunked&, Table) {
  return 0;
}
ChunkStep chunked_entries_step(const Chunked&, Table, size_t) {
  return {true, std::nullopt};
}

}  // namespace glyphloom::detail
