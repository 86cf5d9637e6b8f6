#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "converter_test_image.hpp"
#include "glyphloom/glyphloom.hpp"

namespace glyphloom {
namespace {

using testing::converted;
using testing::converter_with;

using Words = std::vector<std::string_view>;

TEST(ConverterForm, LooksUpStyleAndBase) {
  const Glyphloom converter = converter_with();
  EXPECT_EQ(converter.form("bold", "A"), "\U0001D400");
  EXPECT_EQ(converter.form("white", "heart"), "\U0001F90D");
  EXPECT_EQ(converter.form("bold", "%"), std::nullopt);
  EXPECT_EQ(converter.form("bold", ""), "");  // the marker key
}

TEST(ConverterPermutations, ListsEveryOrderingLexicographically) {
  using Orderings = std::vector<Words>;
  EXPECT_EQ(Glyphloom::permutations({}), Orderings{{}});
  EXPECT_EQ(Glyphloom::permutations({"a"}), Orderings{{"a"}});
  EXPECT_EQ(Glyphloom::permutations({"a", "b", "c"}),
            (Orderings{{"a", "b", "c"},
                       {"a", "c", "b"},
                       {"b", "a", "c"},
                       {"b", "c", "a"},
                       {"c", "a", "b"},
                       {"c", "b", "a"}}));
  // Positions are permuted, so an unsorted list starts with itself and equal words stay apart.
  EXPECT_EQ(Glyphloom::permutations({"b", "a"}), (Orderings{{"b", "a"}, {"a", "b"}}));
  EXPECT_EQ(Glyphloom::permutations({"a", "a"}), (Orderings{{"a", "a"}, {"a", "a"}}));
  EXPECT_EQ(Glyphloom::permutations({"a", "b", "c", "d", "e"}).size(), 120u);
}

Glyphloom restyle_converter() {
  return converter_with({
      {"keep ", ""},           // a principal that leaves A and a as they are
      {"keep A", "A"},
      {"keep a", "a"},
      {"sans A", "A"},         // a style whose form of A is A itself
      {"bold latin-small-letter-eng", "\u014A"},
  });
}

struct RestyledByCase {
  std::string style;
  char32_t c;
  std::optional<std::string> text;
};

class ConverterRestyledBy : public ::testing::TestWithParam<RestyledByCase> {};

TEST_P(ConverterRestyledBy, AppliesOneStyle) {
  const auto& c = GetParam();
  EXPECT_EQ(restyle_converter().restyled_by(c.style, c.c), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConverterRestyledBy,
    ::testing::Values(
        RestyledByCase{"bold", U'A', "\U0001D400"},
        RestyledByCase{"double-struck", U'A', "\U0001D538"},
        RestyledByCase{"upper", U'A', "\u1D2C"}, RestyledByCase{"circled", U'a', "\u24D0"},
        RestyledByCase{"bold", U'%', std::nullopt},
        // Unstyled spelling: the form of its whole name.
        RestyledByCase{"bold", U'\u014B', "\u014A"},
        // Restyle the base, then put the own style back on: no "upper" of bold 2.
        RestyledByCase{"bold", U'\u00B2', std::nullopt},
        RestyledByCase{"bold", U'\U0001D434', std::nullopt},
        // The base comes back unchanged, so the character does too.
        RestyledByCase{"sans", U'\U0001D400', "\U0001D400"}));

struct RestyledCase {
  Words styles;
  char32_t c;
  std::string text;
};

class ConverterRestyled : public ::testing::TestWithParam<RestyledCase> {};

TEST_P(ConverterRestyled, CombinesOrStepsThroughStyles) {
  const auto& c = GetParam();
  EXPECT_EQ(restyle_converter().restyled(c.styles, c.c, 0), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConverterRestyled,
    ::testing::Values(
        RestyledCase{{"bold"}, U'A', "\U0001D400"},
        RestyledCase{{"bold"}, U'\U0001D434', "\U0001D468"},  // bold + italic = bold-italic
        // Sorted parts bold, italic, sans: the fifth ordering is the first marker.
        RestyledCase{{"sans", "bold", "italic"}, U'\U0001D434', "\U0001D63C"},
        // Words split at dashes; repeated parts count once.
        RestyledCase{{"sans-bold"}, U'\U0001D434', "\U0001D63C"},
        RestyledCase{{"bold", "bold-italic"}, U'\U0001D434', "\U0001D468"},
        RestyledCase{{}, U'\U0001D400', "\U0001D400"},               // own style alone
        RestyledCase{{"bold", "italic"}, U'A', "\U0001D434"},        // italic, then bold fails
        RestyledCase{{"italic", "bold"}, U'A', "\U0001D400"},
        RestyledCase{{"bold"}, U'\u00B2', "\u00B2"},
        RestyledCase{{"small-capital"}, U'A', "A"},
        RestyledCase{{}, U'A', "A"}));

struct StyleWarningCase {
  std::string source;
  std::string text;
  std::vector<Warning> warnings;
};

class ConverterRestyleWarnings : public ::testing::TestWithParam<StyleWarningCase> {};

TEST_P(ConverterRestyleWarnings, NameTheStyleAndCharacter) {
  const auto& c = GetParam();
  const Converted result = converted(restyle_converter(), c.source);
  EXPECT_EQ(result.text, c.text);
  EXPECT_EQ(result.warnings, c.warnings);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConverterRestyleWarnings,
    ::testing::Values(
        StyleWarningCase{"<:italic bold A>", "\U0001D468", {}},
        StyleWarningCase{"<:sans italic bold A>", "\U0001D63C", {}},
        StyleWarningCase{"<:bold italic keep A>", "\U0001D434",
                         {{"no bold form of \U0001D434", 0}}},
        StyleWarningCase{"<:italic bold keep A>", "\U0001D400",
                         {{"no italic form of \U0001D400", 0}}},
        StyleWarningCase{"..<:small-capital keep A>", "..A", {{"no small-capital form of A", 2}}},
        StyleWarningCase{"<:bold upper 2>", "\u00B2", {{"no bold form of \u00B2", 0}}},
        // Styles apply to every character, effects follow each restyled one.
        StyleWarningCase{"<:red bold keep aA>", "\U0001D41A\U000E0072\U0001D400\U000E0072", {}}));

TEST(ConverterRestyled, OrderingSearchIsBounded) {
  // Seven one-letter parts have 5040 orderings; the search gives up after the first 720, those
  // that start with "a", and falls back to the styles one by one.
  const std::vector<std::string_view> styles = {"g", "f", "e", "d", "c", "b", "a"};
  const Glyphloom last_tried = converter_with({{"a-g-f-e-d-c-b ", ""},
                                               {"a-g-f-e-d-c-b latin-small-letter-eng", "Y"}});
  EXPECT_EQ(last_tried.restyled(styles, U'\u014B', 0), "Y");
  const Glyphloom beyond = converter_with({{"b-a-c-d-e-f-g ", ""},
                                           {"b-a-c-d-e-f-g latin-small-letter-eng", "Y"}});
  EXPECT_EQ(beyond.restyled(styles, U'\u014B', 0), "\u014B");
}

TEST(ConverterRestyledBy, CyclicSpellingsEnd) {
  // Each character is spelled as a style of the other: following bases would never end.
  auto rows = testing::converter_rows();
  rows[1].push_back({"\u00C0", "<:italic \u00C1>"});
  rows[1].push_back({"\u00C1", "<:italic \u00C0>"});
  rows[1].push_back({"\u00C2", "<:italic \u00C2>"});
  const Glyphloom converter(testing::make_index(rows));
  EXPECT_EQ(converter.restyled_by("bold", U'\u00C0'), std::nullopt);
  EXPECT_EQ(converter.restyled_by("bold", U'\u00C2'), std::nullopt);
  EXPECT_EQ(converter.restyled({"bold"}, U'\u00C2', 0), "\u00C2");
}

}  // namespace
}  // namespace glyphloom
