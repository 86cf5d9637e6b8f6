#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "converter/steps.hpp"
#include "converter_test_image.hpp"
#include "glyphloom/glyphloom.hpp"

namespace glyphloom {
namespace {

using testing::converted;
using testing::converter_with;
using testing::meta_tags;

const std::string kRed = meta_tags(MetaKind::Attached, "color", "red");
const std::string kOpenRed = meta_tags(MetaKind::Open, "color", "red");
const std::string kUnknown = "error: unknown glyphloom entity: ";

// The tag's text, or the textual form of its error.
std::string resolved(std::string_view content) {
  const auto result = detail::tag(converter_with(), content, 0);
  if (const auto* error = std::get_if<Error>(&result)) return "error: " + error_text(*error);
  return std::get<std::string>(result);
}

struct TagCase {
  std::string content, text;
};

class ConverterTag : public ::testing::TestWithParam<TagCase> {};

TEST_P(ConverterTag, Resolves) {
  EXPECT_EQ(resolved(GetParam().content), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    NamesAndModifiers, ConverterTag,
    ::testing::Values(
        TagCase{"x", "x"}, TagCase{"-", "-"}, TagCase{"white heart", "\U0001F90D"},
        TagCase{"white-heart", "\U0001F90D"}, TagCase{"latin small letter eng", "\u014B"},
        TagCase{"greek alpha", "\u03B1"}, TagCase{"bold-a", "\U0001D41A"},
        TagCase{"red bold a", "\U0001D41A\U000E0072"}, TagCase{"italic bold A", "\U0001D468"},
        // Further modifiers end at spaces only: "bold-a" is an operand of red.
        TagCase{"red bold-a",
                "b\U000E0072o\U000E0072l\U000E0072d\U000E0072-\U000E0072"
                "a\U000E0072"},
        TagCase{"bold\ta", kUnknown + "bold\ta"}, TagCase{"nosuch a", kUnknown + "nosuch a"},
        TagCase{" bold a", kUnknown + " bold a"}, TagCase{"color", kUnknown + "color"}));

INSTANTIATE_TEST_SUITE_P(
    LeadingMetas, ConverterTag,
    ::testing::Values(TagCase{"color red", kOpenRed},
                      TagCase{"color red font han-japanese",
                              kOpenRed + meta_tags(MetaKind::Open, "font", "han-japanese")},
                      TagCase{" color  red   alpha", "\u03B1" + kRed},
                      TagCase{"color red size 2em greek a",
                              "\u03B1" + kRed + meta_tags(MetaKind::Attached, "size", "2em")},
                      // Not one tag: name words as tags, the rest literally, without the spaces.
                      TagCase{"color red a b", "a" + kRed + "b" + kRed},
                      TagCase{"color red bold-a %", "\U0001D41A" + kRed + "%" + kRed},
                      TagCase{"color red hello world", kUnknown + "hello"},
                      TagCase{"color ?\?\?", "error: invalid meta value in <:color ?\?\?>"},
                      TagCase{"color ", "error: invalid meta value in <:color >"}));

TEST(ConverterTag, UnknownFontIsAFamilyWithAWarning) {
  const Glyphloom converter = converter_with();
  const Converted unknown = converted(converter, "ab<:font nosuchfont alpha>");
  EXPECT_EQ(unknown.text, "ab\u03B1" + meta_tags(MetaKind::Attached, "font", "nosuchfont"));
  EXPECT_EQ(unknown.warnings,
            (std::vector<Warning>{
                {"nosuchfont is no font style of the entities, used as a font family", 2}}));
  EXPECT_TRUE(converted(converter, "<:font han-japanese>").warnings.empty());
}

TEST(ConverterTag, ModifierCountIsBounded) {
  // Every modifier applies to every character, so a tag may hold only so many.
  std::string effects, suffixes;
  for (int i = 0; i < 30; ++i) effects += "iconic ", suffixes += "\uFE0F";
  EXPECT_EQ(resolved(effects + "red bold a"), "\U0001D41A" + suffixes + "\U000E0072");
  EXPECT_EQ(resolved(effects + "red red bold a"), kUnknown + effects + "red red bold a");
}

TEST(ConverterTag, AttachedMetaSizeIsBounded) {
  // Attached metas repeat after every cluster; opening ones are written once.
  const std::string value(200, 'x'), longer(300, 'x');
  EXPECT_EQ(resolved("color " + value + " a"), "a" + meta_tags(MetaKind::Attached, "color", value));
  EXPECT_EQ(resolved("color " + longer), meta_tags(MetaKind::Open, "color", longer));
  EXPECT_EQ(resolved("color " + longer + " a"),
            "error: invalid meta value in <:color " + longer + " a>");
}

}  // namespace
}  // namespace glyphloom
