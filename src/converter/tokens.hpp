// The items of a source, in one pass from left to right: plain text, short references, tags,
// closing tags. Where an item stands never depends on what it means, so the driver can take
// several at a time and look their keys up together.
#pragma once

#include <cstddef>
#include <string_view>

namespace glyphloom::detail {

struct Item {
  enum Kind {
    Plain,      // text outside any reference or tag
    Reference,  // "\:" name; the name is empty when no name byte follows
    Tag,        // "<:" content ">", content not starting with '/' (it may be empty)
    Closing,    // "<:/" key ">"
    Unclosed,   // "<:" without a '>' after it; it runs to the end of the source
    End,        // nothing is left
  };
  Kind kind;
  size_t start;
  size_t end;             // where the next item starts
  std::string_view body;  // the plain text, the name, the content, the key after '/'
  bool spaced = false;    // of a tag: its content holds a space
  bool ascii = false;     // of a tag: its content is ASCII
};

class Tokenizer {
 public:
  Tokenizer(std::string_view source, size_t from) noexcept : source_(source), pos_(from) {}
  Item next() noexcept;

 private:
  std::string_view source_;
  size_t pos_;
};

}  // namespace glyphloom::detail
