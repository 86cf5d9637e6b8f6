#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "converter_test_image.hpp"
#include "glyphloom/glyphloom.hpp"

namespace glyphloom {
namespace {

using testing::converted;
using testing::converter_with;
using testing::meta_tags;

const std::string kRed = meta_tags(MetaKind::Attached, "color", "red");
const std::string kSize = meta_tags(MetaKind::Attached, "size", "2em");
const std::string kOpenRed = meta_tags(MetaKind::Open, "color", "red");

// The tag's text, or the textual form of its error.
std::string resolved(const Glyphloom& converter, std::string_view content) {
  const auto result = converter.tag(content, 0);
  if (const auto* error = std::get_if<Error>(&result)) return "error: " + error_text(*error);
  return std::get<std::string>(result);
}

struct TagCase {
  std::string content;
  std::string text;
};

class ConverterTag : public ::testing::TestWithParam<TagCase> {};

TEST_P(ConverterTag, Resolves) {
  const auto& c = GetParam();
  EXPECT_EQ(resolved(converter_with(), c.content), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    OneByteAndWholeNames, ConverterTag,
    ::testing::Values(TagCase{"x", "x"}, TagCase{"-", "-"}, TagCase{"%", "%"},
                      TagCase{"white heart", "\U0001F90D"}, TagCase{"white-heart", "\U0001F90D"},
                      TagCase{"latin small letter eng", "\u014B"},
                      // Only spaces become dashes: a tab stays inside the word.
                      TagCase{"bold\ta", "error: unknown glyphloom entity: bold\ta"}));

INSTANTIATE_TEST_SUITE_P(
    Modifiers, ConverterTag,
    ::testing::Values(
        TagCase{"greek alpha", "\u03B1"}, TagCase{"bold a", "\U0001D41A"},
        TagCase{"bold-a", "\U0001D41A"}, TagCase{"red bold a", "\U0001D41A\U000E0072"},
        TagCase{"italic bold A", "\U0001D468"}, TagCase{"circled 1", "\u2460"},
        // Further modifiers are separated by spaces only.
        TagCase{"red bold-a", "b\U000E0072o\U000E0072l\U000E0072d\U000E0072-\U000E0072"
                              "a\U000E0072"},
        TagCase{"nosuch a", "error: unknown glyphloom entity: nosuch a"},
        TagCase{" bold a", "error: unknown glyphloom entity:  bold a"},
        TagCase{"color", "error: unknown glyphloom entity: color"},
        TagCase{"Color red", "error: unknown glyphloom entity: Color red"}));

INSTANTIATE_TEST_SUITE_P(
    LeadingMetas, ConverterTag,
    ::testing::Values(
        TagCase{"color red", kOpenRed},
        TagCase{"color red font han-japanese",
                kOpenRed + meta_tags(MetaKind::Open, "font", "han-japanese")},
        TagCase{"color red alpha", "\u03B1" + kRed},
        TagCase{" color  red   alpha", "\u03B1" + kRed},
        TagCase{"color red size 2em alpha", "\u03B1" + kRed + kSize},
        TagCase{"color red greek a", "\u03B1" + kRed},
        // Not one tag: pieces one by one, joined without the spaces.
        TagCase{"color red a b", "a" + kRed + "b" + kRed},
        TagCase{"color red bold-a %", "\U0001D41A" + kRed + "%" + kRed},
        TagCase{"color red hello world", "error: unknown glyphloom entity: hello"},
        TagCase{"color ???", "error: invalid meta value in <:color ???>"},
        TagCase{"color ", "error: invalid meta value in <:color >"},
        TagCase{" color red size ?? a", "error: invalid meta value in <: color red size ?? a>"}));

TEST(ConverterTag, UnknownFontIsAFamilyWithAWarning) {
  const Glyphloom converter = converter_with();
  const Converted unknown = converted(converter, "ab<:font nosuchfont alpha>");
  EXPECT_EQ(unknown.text, "ab\u03B1" + meta_tags(MetaKind::Attached, "font", "nosuchfont"));
  EXPECT_EQ(unknown.warnings,
            (std::vector<Warning>{
                {"nosuchfont is no font style of the entities, used as a font family", 2}}));
  const Converted known = converted(converter, "<:font han-japanese>");
  EXPECT_EQ(known.text, meta_tags(MetaKind::Open, "font", "han-japanese"));
  EXPECT_TRUE(known.warnings.empty());
}

TEST(ConverterTag, ModifierCountIsBounded) {
  // Every modifier applies to every character, so a tag may hold only so many.
  const Glyphloom converter = converter_with();
  std::string effects;
  for (int i = 0; i < 30; ++i) effects += "iconic ";
  std::string expected;
  for (int i = 0; i < 30; ++i) expected += "\uFE0F";
  EXPECT_EQ(resolved(converter, effects + "bold a"), "\U0001D41A" + expected);
  EXPECT_EQ(resolved(converter, effects + "red bold a"), "\U0001D41A" + expected + "\U000E0072");
  EXPECT_EQ(resolved(converter, effects + "red red bold a"),
            "error: unknown glyphloom entity: " + effects + "red red bold a");
}

TEST(ConverterTag, AttachedMetaSizeIsBounded) {
  // Attached metas repeat after every cluster; opening ones are written once.
  const Glyphloom converter = converter_with();
  const std::string value(200, 'x');
  EXPECT_EQ(resolved(converter, "color " + value),
            meta_tags(MetaKind::Open, "color", value));
  EXPECT_EQ(resolved(converter, "color " + value + " a"),
            "a" + meta_tags(MetaKind::Attached, "color", value));
  const std::string longer(300, 'x');
  EXPECT_EQ(resolved(converter, "color " + longer + " a"),
            "error: invalid meta value in <:color " + longer + " a>");
}

}  // namespace
}  // namespace glyphloom
