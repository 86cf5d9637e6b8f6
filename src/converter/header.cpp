// The optional header `<:glyphloom …>` at the start of a source.
#include <optional>
#include <string_view>

#include "glyphloom/glyphloom.hpp"

namespace glyphloom {

std::optional<Header> header(std::string_view source) {
  constexpr std::string_view kOpening = "<:glyphloom";
  constexpr std::string_view kVersion = "version=\"";
  if (source.size() <= kOpening.size() || !source.starts_with(kOpening)) return std::nullopt;
  const char next = source[kOpening.size()];
  if (next != ' ' && next != '>') return std::nullopt;

  const std::string_view rest = source.substr(kOpening.size());
  const size_t close = rest.find('>');
  if (close == std::string_view::npos) return std::nullopt;
  const std::string_view attributes = rest.substr(0, close);

  std::string_view version;
  if (const size_t at = attributes.find(kVersion); at != std::string_view::npos) {
    const size_t from = at + kVersion.size();
    const size_t quote = attributes.find('"', from);
    version = attributes.substr(from, quote == std::string_view::npos ? quote : quote - from);
  }

  size_t length = kOpening.size() + close + 1;
  const std::string_view after = source.substr(length);
  if (after.starts_with("\r\n")) {
    length += 2;
  } else if (after.starts_with('\n')) {
    length += 1;
  }
  return Header{version, length};
}

}  // namespace glyphloom
