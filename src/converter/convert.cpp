// The conversion driver: header, plain text and blocks, short references, tags.
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "glyphloom/glyphloom.hpp"
#include "glyphloom/meta.hpp"
#include "internal.hpp"

namespace glyphloom {

namespace {

bool supported_version(std::string_view version) {
  if (!version.starts_with(kVersionPrefix)) return false;
  const auto number = version.substr(kVersionPrefix.size());
  return !number.empty() && number.find_first_not_of("0123456789") == std::string_view::npos;
}

bool is_short_name_byte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

// The offset of the next "<:" or "\:" at or after `from`, or the size of the source. A colon
// only counts with its opener inside the rest, so the search for colons starts one byte in.
size_t next_tag(std::string_view source, size_t from) {
  const char* const begin = source.data();
  size_t at = from + 1;
  while (at < source.size()) {
    const void* colon = std::memchr(begin + at, ':', source.size() - at);
    if (colon == nullptr) break;
    const size_t pos = static_cast<const char*>(colon) - begin;
    if (source[pos - 1] == '<' || source[pos - 1] == '\\') return pos - 1;
    at = pos + 1;
  }
  return source.size();
}

struct Block {
  std::string_view modifier;
  bool group;
};

}  // namespace

Result<Converted> Glyphloom::convert(std::string_view source, WarningMode mode) const {
  static const std::vector<std::string_view> kNoEffects;
  warnings_.clear();
  std::string out;
  std::optional<Block> block;

  size_t pos = 0;
  if (const auto head = header(source)) {
    if (!head->version.empty() && !supported_version(head->version)) {
      warn(detail::fill("unsupported glyphloom version {}", {head->version}), 0);
    }
    pos = head->length;
  }

  while (pos < source.size()) {
    const size_t start = next_tag(source, pos);
    const auto plain = source.substr(pos, start - pos);
    if (!block) {
      out += plain;
    } else if (block->group) {
      out += operands(block->modifier, plain, kNoEffects, pos);
    } else {
      // Word by word; each whitespace character ends a word and is kept as it is.
      size_t word = 0;
      for (size_t i = 0; i < plain.size();) {
        const detail::Char c = detail::char_at(plain, i);
        if (utf8::is_white_space(c.cp)) {
          out += operand(block->modifier, plain.substr(word, i - word), kNoEffects, pos);
          out += plain.substr(i, c.length);
          word = i + c.length;
        }
        i += c.length;
      }
      if (word < plain.size()) {
        out += operand(block->modifier, plain.substr(word), kNoEffects, pos);
      }
    }
    if (start == source.size()) break;

    if (source[start] == '\\') {
      size_t end = start + 2;
      while (end < source.size() && is_short_name_byte(source[end])) ++end;
      const auto name = source.substr(start + 2, end - start - 2);
      if (const auto text = index_.get(Table::Names, name)) {
        out += *text;
      } else {
        auto kept_text =
            kept(UnknownEntity{std::string(name)}, source.substr(start, end - start), start, mode);
        if (auto* error = std::get_if<Error>(&kept_text)) return std::move(*error);
        out += std::get<std::string>(kept_text);
      }
      pos = end;
      continue;
    }

    const size_t close = source.find('>', start + 2);
    if (close == std::string_view::npos) {
      const auto rest = source.substr(start);
      auto kept_text = kept(Unclosed{std::string(rest)}, rest, start, mode);
      if (auto* error = std::get_if<Error>(&kept_text)) return std::move(*error);
      out += std::get<std::string>(kept_text);
      break;
    }
    const auto content = source.substr(start + 2, close - start - 2);
    pos = close + 1;
    if (content.empty()) {
      block.reset();
    } else if (content.front() == '/') {
      const auto key = content.substr(1);
      if (index_.entry(Table::Templates, key)) {
        out += Meta{MetaKind::Close, std::string(key), {}}.tags();
      } else {
        // Any closing tag that is no meta ends the block, whatever its name.
        block.reset();
      }
    } else if (has_name(detail::cat({content, " "}))) {
      block = Block{content, has_name(detail::cat({content, " *group"}))};
    } else {
      auto resolved = tag(content, start);
      if (auto* error = std::get_if<Error>(&resolved)) {
        resolved = kept(std::move(*error), source.substr(start, close + 1 - start), start, mode);
        if (auto* kept_error = std::get_if<Error>(&resolved)) return std::move(*kept_error);
      }
      out += std::get<std::string>(resolved);
    }
  }

  std::vector<Warning> warnings = std::exchange(warnings_, {});
  if (mode == WarningMode::Error && !warnings.empty()) {
    return Error{Unsupported{std::move(warnings.front())}};
  }
  return Converted{std::move(out), std::move(warnings)};
}

}  // namespace glyphloom
