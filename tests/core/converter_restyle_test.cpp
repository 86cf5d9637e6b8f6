#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "converter/steps.hpp"
#include "converter_test_image.hpp"
#include "glyphloom/glyphloom.hpp"

namespace glyphloom {
namespace {

using testing::converted;
using testing::converter_with;

using Words = std::vector<std::string_view>;

TEST(ConverterPermutations, ListsEveryOrderingLexicographically) {
  using Orderings = std::vector<Words>;
  EXPECT_EQ(detail::permutations({}), Orderings{{}});
  EXPECT_EQ(detail::permutations({"a", "b", "c"}), (Orderings{{"a", "b", "c"},
                                                              {"a", "c", "b"},
                                                              {"b", "a", "c"},
                                                              {"b", "c", "a"},
                                                              {"c", "a", "b"},
                                                              {"c", "b", "a"}}));
  // Positions are permuted: an unsorted list starts with itself, equal words stay apart.
  EXPECT_EQ(detail::permutations({"b", "a"}), (Orderings{{"b", "a"}, {"a", "b"}}));
  EXPECT_EQ(detail::permutations({"a", "a"}), (Orderings{{"a", "a"}, {"a", "a"}}));
}

Glyphloom restyle_converter() {
  return converter_with({
      {"keep ", ""},  // a principal that leaves A and a as they are
      {"keep A", "A"},
      {"keep a", "a"},
      {"sans A", "A"},  // a style whose form of A is A itself
      {"bold latin-small-letter-eng", "\u014A"},
  });
}

TEST(ConverterRestyledBy, AppliesOneStyle) {
  const Glyphloom converter = restyle_converter();
  EXPECT_EQ(detail::form(converter, "bold", "A"), "\U0001D400");
  EXPECT_EQ(detail::restyled_by(converter, "bold", U'A'), "\U0001D400");
  EXPECT_EQ(detail::restyled_by(converter, "double-struck", U'A'), "\U0001D538");
  EXPECT_EQ(detail::restyled_by(converter, "upper", U'A'), "\u1D2C");
  EXPECT_EQ(detail::restyled_by(converter, "circled", U'a'), "\u24D0");
  EXPECT_EQ(detail::restyled_by(converter, "bold", U'%'), std::nullopt);
  EXPECT_EQ(detail::restyled_by(converter, "bold", U'\u014B'), "\u014A");  // form of the whole name
  // Restyle the base, then put the own style back on: there is no "upper" of bold 2.
  EXPECT_EQ(detail::restyled_by(converter, "bold", U'\u00B2'), std::nullopt);
  // The base comes back unchanged, so the character does too.
  EXPECT_EQ(detail::restyled_by(converter, "sans", U'\U0001D400'), "\U0001D400");
}

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
        RestyledCase{{"bold"}, U'\U0001D434', "\U0001D468"},  // bold + italic: bold-italic
        // Sorted parts bold, italic, sans: the fifth ordering is the first marker.
        RestyledCase{{"sans", "bold", "italic"}, U'\U0001D434', "\U0001D63C"},
        RestyledCase{{"sans-bold"}, U'\U0001D434', "\U0001D63C"},
        RestyledCase{{"bold", "bold-italic"}, U'\U0001D434', "\U0001D468"},
        RestyledCase{{}, U'\U0001D400', "\U0001D400"},         // its own style alone
        RestyledCase{{"bold", "italic"}, U'A', "\U0001D434"},  // italic, then bold fails
        RestyledCase{{"italic", "bold"}, U'A', "\U0001D400"},
        RestyledCase{{"bold"}, U'\u00B2', "\u00B2"}, RestyledCase{{"small-capital"}, U'A', "A"},
        RestyledCase{{}, U'A', "A"}));

TEST(ConverterRestyled, WarningsNameTheStyleAndCharacter) {
  const auto check = [](std::string source, std::string text, std::vector<Warning> warnings) {
    const Converted result = converted(restyle_converter(), source);
    EXPECT_EQ(result.text, text) << source;
    EXPECT_EQ(result.warnings, warnings) << source;
  };
  check("<:italic bold A>", "\U0001D468", {});
  check("<:bold italic keep A>", "\U0001D434", {{"no bold form of \U0001D434", 0}});
  check("<:italic bold keep A>", "\U0001D400", {{"no italic form of \U0001D400", 0}});
  check("..<:small-capital keep A>", "..A", {{"no small-capital form of A", 2}});
  check("<:bold upper 2>", "\u00B2", {{"no bold form of \u00B2", 0}});
  // Effects follow each restyled character.
  check("<:red bold keep aA>", "\U0001D41A\U000E0072\U0001D400\U000E0072", {});
}

TEST(ConverterRestyled, OrderingSearchIsBounded) {
  // Seven parts have 5040 orderings; the search stops after the first 720, those that start
  // with "a", and falls back to the styles one by one.
  const Words styles = {"g", "f", "e", "d", "c", "b", "a"};
  const auto restyled_with_marker = [&](std::string name) {
    return converter_with({{name + " ", ""}, {name + " latin-small-letter-eng", "Y"}})
        .restyled(styles, U'\u014B', 0);
  };
  EXPECT_EQ(restyled_with_marker("a-g-f-e-d-c-b"), "Y");
  EXPECT_EQ(restyled_with_marker("b-a-c-d-e-f-g"), "\u014B");
}

TEST(ConverterRestyledBy, CyclicSpellingsEnd) {
  // Characters spelled as a style of each other, or of themselves, in a caller's image.
  auto rows = testing::converter_rows();
  rows[1].insert(rows[1].end(), {{"\u00C0", "<:italic \u00C1>"},
                                 {"\u00C1", "<:italic \u00C0>"},
                                 {"\u00C2", "<:italic \u00C2>"}});
  const Glyphloom converter(testing::make_index(rows));
  EXPECT_EQ(detail::restyled_by(converter, "bold", U'\u00C0'), std::nullopt);
  EXPECT_EQ(converter.restyled({"bold"}, U'\u00C2', 0), "\u00C2");
}

}  // namespace
}  // namespace glyphloom
