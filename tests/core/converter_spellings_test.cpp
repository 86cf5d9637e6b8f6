#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "converter_test_image.hpp"
#include "glyphloom/glyphloom.hpp"

namespace glyphloom {
namespace {

using testing::converter_with;

struct SpelledCase {
  char32_t c;
  std::vector<std::string_view> effects;
  std::string markup;
};

class ConverterSpelled : public ::testing::TestWithParam<SpelledCase> {};

TEST_P(ConverterSpelled, WritesTheCharacterInMarkup) {
  const auto& c = GetParam();
  EXPECT_EQ(converter_with().spelled(c.c, c.effects), c.markup);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConverterSpelled,
    ::testing::Values(SpelledCase{U'a', {}, "a"},                                  // unspelled
                      SpelledCase{U'a', {"iconic"}, "<:iconic a>"},                 // itself named
                      SpelledCase{U'\u00B9', {}, "<:upper 1>"},                     // its spelling
                      SpelledCase{U'\U0001F90D', {"mirror"}, "<:mirror white heart>"},
                      SpelledCase{U'\U0001D400', {"red", "mirror"}, "<:red mirror bold A>"},
                      SpelledCase{U'\u014B', {"flip"}, "<:flip latin-small-letter-eng>"},
                      SpelledCase{0xD800, {}, "\uFFFD"}));  // no scalar value: never bad UTF-8

struct SpellingCase {
  char32_t c;
  std::optional<std::pair<std::string, std::string>> spelling;
};

class ConverterSpelling : public ::testing::TestWithParam<SpellingCase> {};

TEST_P(ConverterSpelling, SplitsModifierAndBase) {
  const auto& c = GetParam();
  const auto spelling = converter_with().spelling(c.c);
  ASSERT_EQ(spelling.has_value(), c.spelling.has_value());
  if (!spelling) return;
  EXPECT_EQ(spelling->style, c.spelling->first);
  EXPECT_EQ(spelling->base, c.spelling->second);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConverterSpelling,
    ::testing::Values(
        SpellingCase{U'\u00B9', {{"upper", "1"}}}, SpellingCase{U'\U0001D434', {{"italic", "A"}}},
        SpellingCase{U'\U0001D468', {{"bold-italic", "A"}}},
        SpellingCase{U'\u014B', {{"", "latin-small-letter-eng"}}},
        // "latin" is no modifier: the whole name is the base.
        SpellingCase{U'\u00E6', {{"", "latin small ae"}}}, SpellingCase{U'a', std::nullopt}));

TEST(ConverterSpelling, MalformedSpellingsNameNothing) {
  // A caller's image may hold spelling texts without the brackets.
  auto rows = testing::converter_rows();
  rows[1] = {{"\u00C0", "ab"}, {"\u00C1", "<:x"}, {"\u00C2", "x>"}, {"\u00C3", "<\u00E9>"}};
  const Glyphloom converter(testing::make_index(rows));
  for (const char32_t c : {U'\u00C0', U'\u00C1', U'\u00C2', U'\u00C3'}) {
    EXPECT_FALSE(converter.spelling(c).has_value()) << static_cast<uint32_t>(c);
  }
  EXPECT_EQ(converter.spelled(U'\u00C0', {}), "ab");
  // With effects the name comes from the spelling; lacking one, the character names itself
  // (cutting the brackets off "<é>" would split the é).
  EXPECT_EQ(converter.spelled(U'\u00C3', {"red"}), "<:red \u00C3>");
  EXPECT_EQ(converter.spelled(U'\u00C0', {"red"}), "<:red \u00C0>");
}

}  // namespace
}  // namespace glyphloom
