// The converted text of the driver.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace glyphloom::detail {

// A short piece is copied as one fixed-size move (no branch on its length) when that many bytes
// may be read where it starts, which holds for pieces of the source or of the image away from
// their ends; the move writes into a spare stretch kept past the text's end. The spare stretch is
// made (and zero-filled) a few kilobytes at a time, so a long piece, such as a whole plain text,
// is copied once and nothing else. A short text is written in the object itself and allocates
// only when it is taken, and not at all when it fits a string's own buffer.
class Output {
 public:
  // The spare stretch grows with the source, so a short conversion allocates little.
  explicit Output(size_t expected) : spare_(std::clamp(expected, kMove, kMaxSpare)) {
    if (expected + kMove > kInline) {
      buffer_.reserve(expected + spare_);
      to_buffer();
    }
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // `piece`, which may be read up to `readable` (its buffer's end).
  __attribute__((always_inline)) void append(std::string_view piece, const char* readable) {
    if (piece.size() <= kMove && readable - piece.data() >= static_cast<ptrdiff_t>(kMove)) {
      if (capacity_ - size_ < kMove) {
        text_to_buffer();
        buffer_.resize(size_ + spare_);
        to_buffer();
      }
      std::memcpy(data_ + size_, piece.data(), kMove);
      size_ += piece.size();
      return;
    }
    *this += piece;
  }

  Output& operator+=(std::string_view piece) {
    if (capacity_ - size_ >= piece.size()) {
      std::memcpy(data_ + size_, piece.data(), piece.size());
    } else {
      text_to_buffer();
      buffer_.append(piece);
      to_buffer();
    }
    size_ += piece.size();
    return *this;
  }

  // Moves the text to the end of `text`: the driver's result, empty until then.
  void take(std::string& text) && {
    if (data_ == inline_) {
      text.append(inline_, size_);
    } else {
      buffer_.resize(size_);
      text = std::move(buffer_);
    }
  }

 private:
  static constexpr size_t kMove = 32;
  static constexpr size_t kMaxSpare = 4096;
  static constexpr size_t kInline = 256;

  // The buffer holding the text and nothing after it.
  void text_to_buffer() {
    if (data_ == inline_) {
      buffer_.assign(inline_, size_);
    } else {
      buffer_.resize(size_);
    }
  }
  void to_buffer() {
    data_ = buffer_.data();
    capacity_ = buffer_.size();
  }

  size_t spare_;
  std::string buffer_;
  char inline_[kInline];
  char* data_ = inline_;
  size_t capacity_ = kInline;
  size_t size_ = 0;  // of the text; the buffer holds the spare stretch after it
};

}  // namespace glyphloom::detail
