#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "converter/steps.hpp"
#include "converter_test_image.hpp"
#include "glyphloom/glyphloom.hpp"

namespace glyphloom {
namespace {

using testing::converter_with;

TEST(ConverterSpelled, WritesTheCharacterInMarkup) {
  const Glyphloom converter = converter_with();
  EXPECT_EQ(detail::spelled(converter, U'a', {}), "a");
  EXPECT_EQ(detail::spelled(converter, U'a', {"iconic"}), "<:iconic a>");
  EXPECT_EQ(detail::spelled(converter, U'\u00B9', {}), "<:upper 1>");
  EXPECT_EQ(detail::spelled(converter, U'\U0001F90D', {"mirror"}), "<:mirror white heart>");
  EXPECT_EQ(detail::spelled(converter, U'\U0001D400', {"red", "mirror"}), "<:red mirror bold A>");
  EXPECT_EQ(detail::spelled(converter, 0xD800, {}), "\uFFFD");  // no scalar value: never bad UTF-8
}

TEST(ConverterSpelling, SplitsModifierAndBase) {
  const Glyphloom converter = converter_with();
  const auto pair = [&](char32_t c) -> std::optional<std::pair<std::string, std::string>> {
    const auto spelling = converter.spelling(c);
    if (!spelling) return std::nullopt;
    return std::pair{std::string(spelling->style), std::string(spelling->base)};
  };
  using Pair = std::pair<std::string, std::string>;
  EXPECT_EQ(pair(U'\u00B9'), (Pair{"upper", "1"}));
  EXPECT_EQ(pair(U'\U0001D468'), (Pair{"bold-italic", "A"}));
  EXPECT_EQ(pair(U'\u014B'), (Pair{"", "latin-small-letter-eng"}));
  EXPECT_EQ(pair(U'\u00E6'), (Pair{"", "latin small ae"}));  // "latin" is no modifier
  EXPECT_EQ(pair(U'a'), std::nullopt);
}

TEST(ConverterSpelling, MalformedSpellingsNameNothing) {
  // A caller's image may hold spelling texts without the brackets.
  auto rows = testing::converter_rows();
  rows[1] = {{"\u00C0", "ab"}, {"\u00C1", "<:x"}, {"\u00C2", "x>"}, {"\u00C3", "<\u00E9>"}};
  const Glyphloom converter(testing::make_index(rows));
  for (const char32_t c : {U'\u00C0', U'\u00C1', U'\u00C2', U'\u00C3'}) {
    EXPECT_FALSE(converter.spelling(c).has_value()) << static_cast<uint32_t>(c);
  }
  EXPECT_EQ(detail::spelled(converter, U'\u00C0', {}), "ab");
  // With effects the character names itself: cutting "<é>" would split the é.
  EXPECT_EQ(detail::spelled(converter, U'\u00C3', {"red"}), "<:red \u00C3>");
}

}  // namespace
}  // namespace glyphloom
