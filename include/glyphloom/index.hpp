// The entity index: an immutable GLX1 image searched in place.
//
// An `Index` is either a whole image (`Whole`) viewed where it lies, or a chunked index whose
// tables are spread over separately supplied chunk images (`Chunked`, see chunked.hpp). Every
// result borrows from the image bytes; nothing is copied and lookups allocate nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace glyphloom {

// An internal fault: a malformed image met during a lookup, a poisoned lock. Its what() starts
// with a fixed message ("index texts are UTF-8", "converter lock", ...). Only the binding
// catches it.
class InternalError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// h = h * 31 + byte, modulo 2^32, over the UTF-8 bytes.
uint32_t text_hash(std::string_view text) noexcept;

enum class Table : uint32_t { Names = 0, Spellings = 1, Effects = 2, Fonts = 3, Templates = 4 };
inline constexpr uint32_t kTableCount = 5;

// One 20-byte record, widened.
struct Record {
  uint32_t hash;
  size_t key_offset;
  size_t key_length;
  size_t text_offset;
  size_t text_length;
};

// A (key, text) pair borrowed from an image.
struct Entry {
  std::string_view key;
  std::string_view text;
  bool operator==(const Entry&) const = default;
};

// A read-only view of one image in the GLX1 layout. Every read is range-checked; a read outside
// the image or a key/text that is not UTF-8 throws InternalError.
class Whole {
 public:
  Whole() = default;
  explicit Whole(std::string_view image) noexcept : image_(image) {}

  std::string_view bytes() const noexcept { return image_; }
  Record record(Table table, size_t i) const;
  std::optional<Entry> entry(Table table, std::string_view key) const;
  size_t len(Table table) const;
  // The record's key and text, both checked as UTF-8.
  Entry entry_at(Table table, size_t i) const;

 private:
  std::string_view image_;
};

class Chunked;
class Entries;

// One type over both forms. Copying an Index is cheap: a whole index is a view, a chunked index
// is shared.
class Index {
 public:
  // Validates the header only; the bytes must outlive the index. Returns the index or the error
  // message ("not a glyphloom index (magic GLX1 missing)", "glyphloom index has too few tables").
  static std::variant<Index, std::string> open(std::string_view bytes);
  explicit Index(std::shared_ptr<Chunked> chunked) noexcept : chunked_(std::move(chunked)) {}

  std::optional<Entry> entry(Table table, std::string_view key) const;
  std::optional<std::string_view> get(Table table, std::string_view key) const;
  size_t len(Table table) const;
  // Lazy; the sequence keeps its own share of the index, so it may outlive this object.
  Entries entries(Table table) const;

  bool is_chunked() const noexcept { return chunked_ != nullptr; }
  const Whole& whole() const noexcept { return whole_; }
  // The chunked index, to see what it holds and what lookups missed; chunks are supplied through
  // the `Chunked` the index was made from.
  const Chunked* chunked() const noexcept { return chunked_.get(); }

 private:
  explicit Index(Whole whole) noexcept : whole_(whole) {}
  friend class Entries;

  Whole whole_;
  std::shared_ptr<Chunked> chunked_;
};

// A lazy sequence of entries: `next()` yields them one at a time, and range-for works too.
class Entries {
 public:
  std::optional<Entry> next();

  class iterator {
   public:
    using value_type = Entry;
    using difference_type = std::ptrdiff_t;
    iterator() = default;
    explicit iterator(Entries* owner) : owner_(owner) { advance(); }
    const Entry& operator*() const { return *current_; }
    const Entry* operator->() const { return &*current_; }
    iterator& operator++() {
      advance();
      return *this;
    }
    void operator++(int) { advance(); }
    bool operator==(const iterator& other) const { return owner_ == other.owner_; }

   private:
    void advance() {
      current_ = owner_->next();
      if (!current_) owner_ = nullptr;
    }
    Entries* owner_ = nullptr;
    std::optional<Entry> current_;
  };
  iterator begin() { return iterator(this); }
  iterator end() { return iterator(); }

 private:
  friend class Index;
  Entries(Index index, Table table) noexcept;

  Index index_;
  Table table_;
  Whole current_;
  size_t record_ = 0;
  size_t count_ = 0;
  // For a chunked index: the position in the table's chunk list (base chunk first).
  size_t chunk_step_ = 0;
  bool started_ = false;
};

// The compiled-in default image (static, never copied).
std::string_view default_image() noexcept;

}  // namespace glyphloom
