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
// is copied once and nothing else.
class Output {
 public:
  // The spare stretch grows with the source, so a short conversion allocates little.
  explicit Output(size_t expected) : spare_(std::clamp(expected, kMove, kMaxSpare)) {
    buffer_.reserve(expected + spare_);
  }

  // `piece`, which may be read up to `readable` (its buffer's end).
  void append(std::string_view piece, const char* readable) {
    if (piece.size() <= kMove && readable - piece.data() >= static_cast<ptrdiff_t>(kMove)) {
      if (buffer_.size() - size_ < kMove) buffer_.resize(size_ + spare_);
      std::memcpy(buffer_.data() + size_, piece.data(), kMove);
      size_ += piece.size();
      return;
    }
    *this += piece;
  }

  Output& operator+=(std::string_view piece) {
    if (buffer_.size() - size_ >= piece.size()) {
      std::memcpy(buffer_.data() + size_, piece.data(), piece.size());
    } else {
      buffer_.resize(size_);
      buffer_.append(piece);
    }
    size_ += piece.size();
    return *this;
  }

  std::string take() && {
    buffer_.resize(size_);
    return std::move(buffer_);
  }

 private:
  static constexpr size_t kMove = 32;
  static constexpr size_t kMaxSpare = 4096;

  size_t spare_;
  std::string buffer_;
  size_t size_ = 0;  // of the text; the buffer holds the spare stretch after it
};

}  // namespace glyphloom::detail
