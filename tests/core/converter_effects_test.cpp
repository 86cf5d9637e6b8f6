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
using testing::meta_tags;

const std::string kRedMeta = meta_tags(MetaKind::Attached, "color", "red");
const std::string kGrayMeta = meta_tags(MetaKind::Attached, "color", "gray");

TEST(ConverterIsEffect, NeedsTheGenericSuffixKey) {
  const Glyphloom converter = converter_with({{"cjkonly *suffix cjk", "x"}});
  EXPECT_TRUE(detail::is_effect(converter, "red"));
  EXPECT_FALSE(detail::is_effect(converter, "bold"));     // a style
  EXPECT_FALSE(detail::is_effect(converter, "Red"));      // case-sensitive
  EXPECT_FALSE(detail::is_effect(converter, "cjkonly"));  // script keys alone make no effect
}

struct SuffixCase {
  std::string effect;
  char32_t base;
  std::optional<std::string> suffix;
};

class ConverterSuffixOf : public ::testing::TestWithParam<SuffixCase> {};

TEST_P(ConverterSuffixOf, PrefersTheScriptKey) {
  const auto& c = GetParam();
  EXPECT_EQ(detail::suffix_of(converter_with(), c.effect, c.base), c.suffix);
}

// The bounds of the script classes, and an empty script text as an answer of its own.
INSTANTIATE_TEST_SUITE_P(
    Cases, ConverterSuffixOf,
    ::testing::Values(
        SuffixCase{"red", U'a', "\U000E0072"}, SuffixCase{"red", U'\u4E2D', ""},
        SuffixCase{"red", U'\u2E80', ""}, SuffixCase{"red", U'\u9FFF', ""},
        SuffixCase{"red", U'\u2E7F', "\U000E0072"}, SuffixCase{"red", U'\uA000', "\U000E0072"},
        SuffixCase{"red", U'\U00020000', ""}, SuffixCase{"red", U'\U00033FFF', ""},
        SuffixCase{"red", U'\U00034000', "\U000E0072"}, SuffixCase{"red", U'\U00013FFF', ""},
        SuffixCase{"red", U'\U00014000', ""}, SuffixCase{"red", U'\U000143FF', ""},
        SuffixCase{"red", U'\U00014400', "\U000E0072"},
        SuffixCase{"mirror", U'\U00013000', "\U00013440"},
        SuffixCase{"mirror", U'\u4E2D', "\U000E004D"},  // no CJK key: the generic one
        SuffixCase{"iconic", U'x', "\uFE0F"}, SuffixCase{"bold", U'a', std::nullopt}));

TEST(ConverterEffectSuffixes, SuffixesFirstThenFallbackMetas) {
  const Glyphloom converter = converter_with();
  const auto suffixes = [&](std::vector<std::string_view> effects, char32_t base) {
    return converter.effect_suffixes(effects, base, 0);
  };
  EXPECT_EQ(suffixes({}, U'a'), "");
  EXPECT_EQ(suffixes({"red"}, U'a'), "\U000E0072");
  EXPECT_EQ(suffixes({"red"}, U'\u4E2D'), kRedMeta);
  EXPECT_EQ(suffixes({"red", "mirror", "grey"}, U'\u4E2D'), "\U000E004D" + kRedMeta + kGrayMeta);
  EXPECT_EQ(suffixes({"gray"}, U'\u4E2D'), kGrayMeta);
  EXPECT_EQ(suffixes({"mirror", "iconic"}, U'\U00013000'), "\U00013440\uFE0F");
  EXPECT_EQ(suffixes({"emoji", "text"}, U'\u4E2D'), "\uFE0F\uFE0E");
  EXPECT_EQ(suffixes({"flip", "bold"}, U'\U00013000'), "");
}

TEST(ConverterEffectSuffixes, WarnAtTheTag) {
  // A meta text without a space is no meta.
  const Glyphloom converter = converter_with(
      {{"odd ", ""}, {"odd *meta", "nospace"}, {"odd *suffix cjk", ""}, {"odd *suffix", "!"}});
  const auto check = [&](std::string source, std::string text, std::vector<Warning> warnings) {
    const Converted result = converted(converter, source);
    EXPECT_EQ(result.text, text) << source;
    EXPECT_EQ(result.warnings, warnings) << source;
  };
  check("x<:red \u4E2D>", "x\u4E2D" + kRedMeta, {{"red on \u4E2D kept as color meta", 1}});
  check("<:flip \U00013000>", "\U00013000", {{"flip does not apply to \U00013000", 0}});
  check("<:odd \u4E2D>", "\u4E2D", {{"odd does not apply to \u4E2D", 0}});
  check("<:red mirror \u4E2D>", "\u4E2D\U000E004D" + kRedMeta,
        {{"red on \u4E2D kept as color meta", 0}});
}

}  // namespace
}  // namespace glyphloom
