// The converter: glyphloom markup to text and back, meta runs and HTML rendering over one index.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "glyphloom/index.hpp"
#include "glyphloom/meta.hpp"

namespace glyphloom {

// The version URL of the markup language; the accepted header versions are this without its
// final digit followed by one or more ASCII digits.
inline constexpr std::string_view kGlyphloomVersion = "https://glyphloom.org/v1";
inline constexpr std::string_view kVersionPrefix =
    kGlyphloomVersion.substr(0, kGlyphloomVersion.size() - 1);

struct UnknownEntity {
  std::string name;
  bool operator==(const UnknownEntity&) const = default;
};
struct Unclosed {
  std::string rest;
  bool operator==(const Unclosed&) const = default;
};
struct Unsupported {
  Warning warning;
  bool operator==(const Unsupported&) const = default;
};
struct InvalidMeta {
  std::string content;
  bool operator==(const InvalidMeta&) const = default;
};
using Error = std::variant<UnknownEntity, Unclosed, Unsupported, InvalidMeta>;

// "unknown glyphloom entity: {}", "unclosed <: at {}", "glyphloom: {} at byte {}",
// "invalid meta value in <:{}>".
std::string error_text(const Error& error);

enum class WarningMode { Warn, Error, Lenient };

// The header at the start of a source: its version (a slice of the source) and its length.
struct Header {
  std::string_view version;
  size_t length;
};
std::optional<Header> header(std::string_view source);

// Either a value or an Error.
template <class T>
using Result = std::variant<T, Error>;

struct Converted {
  std::string text;
  std::vector<Warning> warnings;
};

// A conversion that failed: its error, and the byte offset in the source where what caused it
// starts (the tag, short reference or unclosed "<:", or the first finding in mode "error").
struct Failure {
  Error error;
  size_t byte;
};

// A font record; texts borrow from the index image.
struct Font {
  std::string_view name;
  std::string_view lang;
  std::vector<std::string_view> families;
  std::vector<std::string_view> features;
};

// The converter over one index. Not safe for concurrent use: it owns the warning list of the
// conversion in progress. The binding serialises calls with a lock.
class Glyphloom {
 public:
  explicit Glyphloom(Index index) : index_(std::move(index)) {}
  const Index& index() const noexcept { return index_; }

  // Records a finding of the conversion in progress (see `convert`).
  void warn(std::string message, size_t byte) const;

  // How a character is written in markup: its style word and base name, when its spelling has
  // them.
  struct Spelling {
    std::string_view style;
    std::string_view base;
  };
  std::optional<Spelling> spelling(char32_t c) const;

  // The suffix characters of `effects` after `base`, or their metas where a script has none.
  std::string effect_suffixes(const std::vector<std::string_view>& effects, char32_t base,
                              size_t byte) const;
  // `c` in each of `styles` in turn.
  std::string restyled(const std::vector<std::string_view>& styles, char32_t c, size_t byte) const;

  // Markup to text.
  Result<Converted> convert(std::string_view source, WarningMode mode) const;
  // `convert`, with where it failed.
  std::variant<Converted, Failure> convert_located(std::string_view source, WarningMode mode) const;

  // Text to markup.
  std::string to_glyphloom(std::string_view text) const;

  // Runs and rendering.
  Styled meta_runs(std::string_view tagged) const;
  std::optional<Font> font(std::string_view name) const;
  std::optional<std::string_view> meta_template(std::string_view key) const;
  std::string span(const MetaRun& run) const;
  std::string html(const Styled& styled) const;

 private:
  // The conversion into `done`, or where it failed.
  std::optional<Failure> run(std::string_view source, WarningMode mode, Converted& done) const;

  Index index_;
  mutable std::vector<Warning> warnings_;
  // Findings past the kept ones, counted only.
  mutable size_t unlisted_ = 0;
};

}  // namespace glyphloom
