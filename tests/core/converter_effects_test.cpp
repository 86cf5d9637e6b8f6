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
using testing::meta_tags;

const std::string kRedMeta = meta_tags(MetaKind::Attached, "color", "red");
const std::string kGrayMeta = meta_tags(MetaKind::Attached, "color", "gray");

TEST(ConverterIsEffect, NeedsTheGenericSuffixKey) {
  const Glyphloom converter = converter_with({{"cjkonly ", ""}, {"cjkonly *suffix cjk", "x"}});
  EXPECT_TRUE(converter.is_effect("red"));
  EXPECT_TRUE(converter.is_effect("iconic"));
  EXPECT_FALSE(converter.is_effect("bold"));     // a style
  EXPECT_FALSE(converter.is_effect("Red"));      // case-sensitive
  EXPECT_FALSE(converter.is_effect("cjkonly"));  // script keys alone make no effect
  EXPECT_FALSE(converter.is_effect(""));
}

struct SuffixCase {
  std::string effect;
  char32_t base;
  std::optional<std::string> suffix;
};

class ConverterSuffixOf : public ::testing::TestWithParam<SuffixCase> {};

TEST_P(ConverterSuffixOf, PrefersTheScriptKey) {
  const auto& c = GetParam();
  const auto suffix = converter_with().suffix_of(c.effect, c.base);
  ASSERT_EQ(suffix.has_value(), c.suffix.has_value());
  if (suffix) EXPECT_EQ(*suffix, *c.suffix);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConverterSuffixOf,
    ::testing::Values(SuffixCase{"red", U'a', "\U000E0072"},
                      SuffixCase{"red", U'\u4E2D', ""},  // empty CJK text: present, no suffix
                      SuffixCase{"red", U'\u2E80', ""}, SuffixCase{"red", U'\u9FFF', ""},
                      SuffixCase{"red", U'\u2E7F', "\U000E0072"},
                      SuffixCase{"red", U'\uA000', "\U000E0072"},
                      SuffixCase{"red", U'\U00020000', ""}, SuffixCase{"red", U'\U00033FFF', ""},
                      SuffixCase{"red", U'\U00034000', "\U000E0072"},
                      SuffixCase{"red", U'\U00013000', ""}, SuffixCase{"red", U'\U00013FFF', ""},
                      SuffixCase{"red", U'\U00014000', "\U000E0072"},
                      SuffixCase{"mirror", U'\U00013000', "\U00013440"},
                      SuffixCase{"mirror", U'\u4E2D', "\U000E004D"},  // no CJK key: generic
                      SuffixCase{"flip", U'\U00013000', ""},
                      SuffixCase{"iconic", U'x', "\uFE0F"}, SuffixCase{"text", U'x', "\uFE0E"},
                      SuffixCase{"bold", U'a', std::nullopt},
                      SuffixCase{"nosuch", U'\u4E2D', std::nullopt}));

struct SuffixesCase {
  std::vector<std::string_view> effects;
  char32_t base;
  std::string text;
};

class ConverterEffectSuffixes : public ::testing::TestWithParam<SuffixesCase> {};

TEST_P(ConverterEffectSuffixes, SuffixesThenFallbackMetas) {
  const auto& c = GetParam();
  EXPECT_EQ(converter_with().effect_suffixes(c.effects, c.base, 0), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConverterEffectSuffixes,
    ::testing::Values(SuffixesCase{{}, U'a', ""}, SuffixesCase{{"red"}, U'a', "\U000E0072"},
                      SuffixesCase{{"red"}, U'\u4E2D', kRedMeta},
                      // The suffix comes first although red was written first.
                      SuffixesCase{{"red", "mirror"}, U'\u4E2D', "\U000E004D" + kRedMeta},
                      SuffixesCase{{"red", "mirror", "grey"}, U'\u4E2D',
                                   "\U000E004D" + kRedMeta + kGrayMeta},
                      SuffixesCase{{"grey"}, U'\u4E2D', kGrayMeta},
                      SuffixesCase{{"gray"}, U'\u4E2D', kGrayMeta},
                      SuffixesCase{{"mirror", "iconic"}, U'\U00013000', "\U00013440\uFE0F"},
                      SuffixesCase{{"emoji"}, U'\u4E2D', "\uFE0F"},
                      SuffixesCase{{"flip"}, U'\U00013000', ""},
                      SuffixesCase{{"bold"}, U'a', ""}));

// Warnings are recorded in the conversion that calls the effect: here through tags.
struct EffectWarningCase {
  std::string source;
  std::string text;
  std::vector<Warning> warnings;
};

class ConverterEffectWarnings : public ::testing::TestWithParam<EffectWarningCase> {};

TEST_P(ConverterEffectWarnings, AreRecordedAtTheTag) {
  const auto& c = GetParam();
  const Glyphloom converter = converter_with({{"odd ", ""}, {"odd *meta", "nospace"},
                                              {"odd *suffix cjk", ""}, {"odd *suffix", "!"}});
  const Converted result = converted(converter, c.source);
  EXPECT_EQ(result.text, c.text);
  EXPECT_EQ(result.warnings, c.warnings);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConverterEffectWarnings,
    ::testing::Values(
        EffectWarningCase{"x<:red \u4E2D>", "x\u4E2D" + kRedMeta,
                          {{"red on \u4E2D kept as color meta", 1}}},
        EffectWarningCase{"<:flip \U00013000>", "\U00013000",
                          {{"flip does not apply to \U00013000", 0}}},
        // A meta text without a space is no meta.
        EffectWarningCase{"<:odd \u4E2D>", "\u4E2D", {{"odd does not apply to \u4E2D", 0}}},
        EffectWarningCase{"<:red mirror \u4E2D>", "\u4E2D\U000E004D" + kRedMeta,
                          {{"red on \u4E2D kept as color meta", 0}}},
        EffectWarningCase{"<:mirror red a>", "a\U000E0072\U000E004D", {}}));

}  // namespace
}  // namespace glyphloom
