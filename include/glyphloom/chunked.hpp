// A chunked entity index: the tables of an index spread over separately supplied chunk images.
//
// A client that cannot afford the whole image (a browser, a small device) fetches the header and
// the base chunk, wraps them in an `Index`, and looks names up as usual. A lookup that needs a
// chunk nobody has supplied yet answers nothing and notes the chunk in the `missing` set; the
// client fetches what is missing, supplies it and asks again. Names that exist nowhere are mostly
// answered from the header's absence filter without touching any chunk.
//
//   auto opened = glyphloom::Chunked::open(read("header.glxc"));      // or the error message
//   auto chunked = std::get<std::shared_ptr<glyphloom::Chunked>>(opened);
//   chunked->supply(*chunked->base_chunk(), read("chunk-N.glx"));
//   glyphloom::Index index(chunked);
//   if (!index.get(Table::Names, "alpha"))
//     for (size_t c : chunked->take_missing()) chunked->supply(c, read("chunk-" + ...));
//
// Supplying: each chunk number has one set-once slot. `supply` checks the bytes as `Index::open`
// does and stores them; a chunk that is not a GLX1 image, a chunk number the index does not have,
// and a second supply of a filled slot are refused with a message and change nothing (the first
// chunk stays). Supplying is thread-safe and may race with lookups and with other suppliers.
//
// Lifetime: results borrow from the chunk bytes, and a filled slot is never emptied, so every
// result stays valid as long as the `Chunked` lives (that is, while any `Index` sharing it
// lives). `supply` takes the bytes over; `supply_borrowed` only views them (static or mapped
// data), and then the caller keeps them alive and unchanged for the life of the `Chunked`.
//
// Header (32-bit little-endian words): "GLXC", the number of chunks, the table count T, the base
// chunk number (0xFFFFFFFF: none), per table its first bound, its number of bounds and its entry
// count in the whole index, then the bounds (primary, secondary) of the bounded chunks 0 ... b-1,
// then the absence filter: bit count m, probe count k and the bit array. Only the first two words
// are ours; lookups never read them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "glyphloom/index.hpp"

namespace glyphloom {

// Places a key among a table's chunks; pairs compare lexicographically, each half unsigned.
// Empty key: (0, 0). Spellings: (code point of the first character, U+FFFD when the key does not
// start with valid UTF-8, text_hash(key)). Other
// tables: (text_hash of the bytes before the first '-' or space, text_hash(key)).
using ChunkOrder = std::pair<uint32_t, uint32_t>;
ChunkOrder chunk_order(Table table, std::string_view key);

namespace detail {
// The index's own code, which reads the state of a chunked index.
struct ChunkedAccess;
}  // namespace detail

class Chunked {
 public:
  // Takes the header bytes as they are, with `chunk_count` empty slots; nothing is checked until
  // a lookup reads the header (a malformed one is then an internal error). For headers whose
  // first eight bytes are not ours.
  Chunked(std::string header, size_t chunk_count);

  // A header written by `write_chunks`: checks its magic, its table count and that its
  // directory, bounds and filter lie inside it and agree with its chunk count. Returns the index
  // with every slot empty, or the error message ("not a glyphloom chunked header (magic GLXC
  // missing)", "glyphloom chunked header has too few tables", "glyphloom chunked header is
  // malformed: ...").
  static std::variant<std::shared_ptr<Chunked>, std::string> open(std::string header);

  Chunked(const Chunked&) = delete;
  Chunked& operator=(const Chunked&) = delete;
  ~Chunked();

  std::string_view header() const noexcept { return header_; }
  size_t chunk_count() const noexcept { return slots_.size(); }
  // The base chunk number, which every lookup needs first; nothing when the header names none.
  std::optional<size_t> base_chunk() const;

  // The chunk's image if its slot is filled; otherwise nothing, and the number is noted in
  // `missing`. A number at or beyond chunk_count() is an internal error.
  std::optional<Whole> loaded(size_t chunk) const;
  // The chunk's image if its slot is filled, without noting anything (nothing for numbers out
  // of range): for a client that wants to know what it still has to fetch.
  std::optional<Whole> chunk(size_t chunk) const noexcept;

  // Fills slot `chunk` with an image, taking the bytes over. Returns nothing when stored, else
  // why not ("no chunk {} in this chunked index", "chunk {} is already supplied", or the
  // `Index::open` message). A stored chunk leaves `missing`.
  std::optional<std::string> supply(size_t chunk, std::string bytes);
  // As supply, viewing the caller's bytes in place; they must outlive this Chunked.
  std::optional<std::string> supply_borrowed(size_t chunk, std::string_view bytes);

  // The chunks that lookups needed and that are still not supplied, ascending. Both throw
  // InternalError("missing chunks") when the lock was poisoned.
  std::vector<size_t> missing() const;
  // As missing(), and empties the set in the same step.
  std::vector<size_t> take_missing();

 private:
  struct Chunk;
  std::optional<std::string> fill(size_t chunk, std::unique_ptr<Chunk> image);
  friend struct detail::ChunkedAccess;

  std::string header_;
  // Set once, read without a lock: release on store, acquire on load.
  std::vector<std::atomic<const Chunk*>> slots_;
  mutable std::mutex missing_lock_;
  mutable std::set<size_t> missing_;
  // Set when a failure escaped while the lock was held: the set may no longer be trusted.
  mutable bool poisoned_ = false;
};

}  // namespace glyphloom
