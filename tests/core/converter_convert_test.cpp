#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter_test_image.hpp"
#include "glyphloom/glyphloom.hpp"

namespace glyphloom {
namespace {

using testing::converted;
using testing::converter_with;
using testing::failure;
using testing::meta_tags;

const std::string kVersion = std::string(kVersionPrefix) + "1";

struct ConvertCase {
  std::string source;
  std::string text;
  std::vector<Warning> warnings = {};
};

class ConverterConvert : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(ConverterConvert, ConvertsTheSource) {
  const auto& c = GetParam();
  const Converted result = converted(converter_with(), c.source);
  EXPECT_EQ(result.text, c.text);
  EXPECT_EQ(result.warnings, c.warnings);
}

INSTANTIATE_TEST_SUITE_P(
    PlainAndShortReferences, ConverterConvert,
    ::testing::Values(ConvertCase{"", ""}, ConvertCase{"plain text", "plain text"},
                      ConvertCase{"a:b <a:b> :c", "a:b <a:b> :c"}, ConvertCase{"<:x>:y", "x:y"},
                      ConvertCase{"\\:alpha", "\u03B1"},
                      ConvertCase{"\\:alpha.\\:beta!", "\u03B1.\u03B2!"},
                      ConvertCase{"\\:latin-small-letter-eng.", "\u014B."},
                      ConvertCase{"\\\\:alpha", "\\\u03B1"}, ConvertCase{"<<:x>>", "<x>"},
                      ConvertCase{"\u00E9<:latin small letter eng>\u00E9", "\u00E9\u014B\u00E9"}));

INSTANTIATE_TEST_SUITE_P(
    Header, ConverterConvert,
    ::testing::Values(
        ConvertCase{"<:glyphloom>\r\nab", "ab"}, ConvertCase{"<:glyphloom>\nab", "ab"},
        ConvertCase{"<:glyphloom>\rab", "\rab"},
        ConvertCase{"<:glyphloom version=\"" + kVersion + "\">\nab", "ab"},
        ConvertCase{"<:glyphloom version=\"" + std::string(kVersionPrefix) + "42\">", ""},
        ConvertCase{"<:glyphloom lang=en>x", "x"},
        ConvertCase{"<:glyphloom version=\"" + std::string(kVersionPrefix) + "\">x",
                    "x",
                    {{"unsupported glyphloom version " + std::string(kVersionPrefix), 0}}},
        ConvertCase{"<:glyphloom version=\"" + kVersion + "b\">x",
                    "x",
                    {{"unsupported glyphloom version " + kVersion + "b", 0}}},
        ConvertCase{"<:glyphloom version=\"2.0\"> <:bold %>",
                    " %",
                    {{"unsupported glyphloom version 2.0", 0}, {"no bold form of %", 27}}}));

INSTANTIATE_TEST_SUITE_P(
    Blocks, ConverterConvert,
    ::testing::Values(
        ConvertCase{"<:greek>a b<:/greek>", "\u03B1 \u03B2"},
        ConvertCase{"<:above>\u65E5 \u6708<:>", "\u2FF1\u65E5\u6708"},
        ConvertCase{"<:above>sun moon<:>sun", "\u2FF1\u65E5\u6708sun"},
        // Any whitespace character ends a word and stays; adjacent ones leave empty words.
        ConvertCase{"<:greek>a\tb\na  b\u3000a ", "\u03B1\t\u03B2\n\u03B1  \u03B2\u3000\u03B1 "},
        ConvertCase{"<:greek>alpha", "\u03B1"},
        // Warnings carry the offset of the whole stretch of plain text.
        ConvertCase{"<:greek>a %<:>", "\u03B1 %", {{"no greek form of %", 8}}},
        ConvertCase{"<:greek>a<:bold>a<:>a", "\u03B1\U0001D41Aa"},
        ConvertCase{"<:greek>a<:/nosuch>a", "\u03B1a"}, ConvertCase{"<:greek>a<:/>a", "\u03B1a"},
        ConvertCase{"<:>a<:/>", "a"},
        // Tags and short references inside a block are not converted by it.
        ConvertCase{"<:greek>a<:bold a>\\:alpha b", "\u03B1\U0001D41A\u03B1 \u03B2"},
        // A closing meta leaves the block open.
        ConvertCase{"<:greek>a<:/color>b",
                    "\u03B1" + meta_tags(MetaKind::Close, "color") + "\u03B2"},
        ConvertCase{"<:above><:above>", ""}));

INSTANTIATE_TEST_SUITE_P(
    Metas, ConverterConvert,
    ::testing::Values(ConvertCase{"<:font han-japanese>\u6F22<:/font>",
                                  meta_tags(MetaKind::Open, "font", "han-japanese") + "\u6F22" +
                                      meta_tags(MetaKind::Close, "font")},
                      ConvertCase{"<:color red>x<:/color><:/size>",
                                  meta_tags(MetaKind::Open, "color", "red") + "x" +
                                      meta_tags(MetaKind::Close, "color") +
                                      meta_tags(MetaKind::Close, "size")}));

struct FailureCase {
  std::string source;
  std::string error;
};

class ConverterConvertFails : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ConverterConvertFails, WithTheError) {
  const auto& c = GetParam();
  EXPECT_EQ(failure(converter_with(), c.source), c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConverterConvertFails,
    ::testing::Values(FailureCase{"<:glyphloom", "unclosed <: at <:glyphloom"},
                      FailureCase{"<:glyphloomx>", "unknown glyphloom entity: glyphloomx"},
                      FailureCase{"\\: x", "unknown glyphloom entity: "},
                      FailureCase{"x\\:", "unknown glyphloom entity: "},
                      FailureCase{"\\:alpha2", "unknown glyphloom entity: alpha2"},
                      FailureCase{"a <:bold a> <:b", "unclosed <: at <:b"},
                      FailureCase{"<:greek>a<:zzz>", "unknown glyphloom entity: zzz"}));

TEST(ConverterConvert, ErrorModeFailsOnAnyWarning) {
  const Glyphloom converter = converter_with();
  const std::string source = "<:glyphloom version=\"0\">x";
  EXPECT_EQ(failure(converter, source, WarningMode::Error),
            "glyphloom: unsupported glyphloom version 0 at byte 0");
  EXPECT_EQ(converted(converter, "<:bold a>", WarningMode::Error).text, "\U0001D41A");
}

TEST(ConverterConvert, LargeHostileInputsStayLinear) {
  // Shapes that a scan restarting at every candidate would make quadratic.
  const Glyphloom converter = converter_with();
  const size_t n = 200000;
  std::string colons;
  for (size_t i = 0; i < n; ++i) colons += "a:<";
  EXPECT_EQ(converted(converter, colons).text, colons);
  std::string refs;
  for (size_t i = 0; i < n; ++i) refs += "\\:alpha";
  EXPECT_EQ(converted(converter, refs).text.size(), 2 * n);
  std::string block = "<:greek>";
  for (size_t i = 0; i < n; ++i) block += "a ";
  EXPECT_EQ(converted(converter, block).text.size(), 3 * n);
  std::string tag = "<:bold ";
  for (size_t i = 0; i < n; ++i) tag += "ab";
  EXPECT_EQ(converted(converter, tag + ">").text.size(), 8 * n);
  // Unclosed: fatal, or in lenient mode the rest as it is.
  EXPECT_EQ(converted(converter, tag, WarningMode::Lenient).text, tag);
}

}  // namespace
}  // namespace glyphloom
