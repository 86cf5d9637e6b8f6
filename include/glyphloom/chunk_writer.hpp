// Splitting a whole GLX1 image into a chunked index (see chunked.hpp): a header and chunk images.
//
// The base chunk holds the Names marker and directive keys and every small table; each larger
// table is cut, in the order `chunk_order` gives its keys, into bounded chunks of about
// `chunk_size` bytes. The header carries each chunk's lower bound and an absence filter over the
// names outside the base chunk that a lookup asks it about (one-word names, and the composed
// names of modifiers without `*rare`). A lookup over the chunks answers as the whole image does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace glyphloom {

struct ChunkOptions {
  // Target bytes per bounded chunk. Keys with the same order pair must share a chunk, so a chunk
  // outgrows this only when one such group alone does.
  size_t chunk_size = 64 * 1024;
  // A table of at most this many bytes (20 per record plus its keys and texts) goes wholly into
  // the base chunk: fetching it with the base is cheaper than a chunk of its own.
  size_t base_table_limit = 16 * 1024;
  // Filter bits per filtered name (0: no filter). About 0.8 % false positives at 10.
  uint32_t bloom_bits_per_key = 10;
};

struct ChunkSet {
  std::string header;
  // By chunk number: the bounded chunks of the tables in table order, then the base chunk.
  std::vector<std::string> chunks;
  size_t base() const { return chunks.size() - 1; }
  // The absence filter: names in it, its bit count and its probe count.
  size_t filtered_names = 0;
  uint32_t bloom_bits = 0;
  uint32_t bloom_probes = 0;
};

// Splits a whole image. Returns the chunk set, or the `Index::open` message for bytes that are not
// an image; a malformed record throws InternalError, as a lookup meeting it would. A key that
// stands twice in a table keeps its first record, the one a whole lookup finds.
std::variant<ChunkSet, std::string> write_chunks(std::string_view image,
                                                 const ChunkOptions& options = {});

}  // namespace glyphloom
