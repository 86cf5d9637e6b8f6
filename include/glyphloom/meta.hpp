// Metas carried invisibly in text as TAG characters, meta runs over tagged text, and the pieces
// of HTML rendering that need no index. Pure functions: no index, no state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace glyphloom {

// A non-fatal finding: its message and the byte offset it refers to.
struct Warning {
  std::string message;
  size_t byte = 0;
  // "glyphloom: {message} at byte {byte}"
  std::string text() const;
  bool operator==(const Warning&) const = default;
};

enum class MetaKind { Open, Close, Attached };

struct Meta {
  MetaKind kind = MetaKind::Open;
  std::string key;
  std::string value;  // empty for Close

  // The TAG-character sequence: the payload shifted into U+E0000.., then U+E007F.
  std::string tags() const;
  // The markup form: "<:key value>", "<:/key>" or "key value".
  std::string glyphloom() const;
  bool operator==(const Meta&) const = default;
};

struct TagSequence {
  std::string payload;
  size_t length;  // bytes, including the final CANCEL TAG
};
std::optional<TagSequence> tag_sequence_at(std::string_view text);

struct MetaAt {
  Meta meta;
  size_t length;
};
// Rejects text that does not start with a TAG character at its first byte, without allocating.
std::optional<MetaAt> meta_at(std::string_view text);
std::optional<size_t> emoji_tags_at(std::string_view text);

bool is_key(std::string_view s) noexcept;
bool is_value(std::string_view s) noexcept;

// Does `current` continue the cluster of `previous`? (Joiners before it, or a continuation
// character such as a combining mark, variation selector or TAG character.)
bool continues_cluster(char32_t previous, char32_t current) noexcept;

// The text with `tags` after every cluster (and once for an empty text).
std::string attach(std::string_view text, std::string_view tags);

// One meta applied to a stretch [start, end) of plain text; `byte` is where the meta sequence
// stood in the tagged text.
struct MetaRun {
  std::string key;
  std::string value;
  size_t start = 0;
  size_t end = 0;
  size_t byte = 0;
  bool operator==(const MetaRun&) const = default;
};

// Plain text with its runs and parse warnings.
struct Styled {
  std::string text;
  std::vector<MetaRun> runs;
  std::vector<Warning> warnings;

  static Styled parse(std::string_view tagged);

  // Renders text and runs: `open(run)` before each run's text, `close` after it, and `text_fn`
  // over every stretch of plain text. Runs must be sorted and nested (as `parse` returns them);
  // others are rendered without reading outside the text.
  std::string interleaved(std::string_view close,
                          const std::function<std::string(std::string_view)>& text_fn,
                          const std::function<std::string(const MetaRun&)>& open) const;
};

// Why a run cannot be rendered over `text` (an end beyond the text, a start after its end, a
// position inside a character), or nothing when it can.
std::optional<std::string> run_fault(std::string_view text, const MetaRun& run);

// & < > " escaped; everything else as it is.
std::string escape_html(std::string_view s);
void append_escaped_html(std::string& out, std::string_view s);

// UTF-8 helpers shared by the codec, the converter and the run parser.
namespace utf8 {
// Decodes the character at `pos` of valid UTF-8 text; returns it and its byte length.
struct Decoded {
  char32_t cp;
  size_t length;
};
Decoded decode(std::string_view text, size_t pos) noexcept;
void append(std::string& out, char32_t cp);
bool valid(std::string_view text) noexcept;
bool is_white_space(char32_t cp) noexcept;  // Unicode White_Space
}  // namespace utf8

}  // namespace glyphloom
