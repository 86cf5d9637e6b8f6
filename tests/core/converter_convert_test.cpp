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

const std::string kPrefix(kVersionPrefix);
std::string with_version(const std::string& version, const std::string& rest) {
  return "<:glyphloom version=\"" + version + "\">" + rest;
}

struct ConvertCase {
  std::string source, text;
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
    ::testing::Values(ConvertCase{"", ""}, ConvertCase{"a:b <a:b> :c", "a:b <a:b> :c"},
                      ConvertCase{"<:x>:y", "x:y"}, ConvertCase{"<<:x>>", "<x>"},
                      ConvertCase{"\\:alpha.\\:beta!", "\u03B1.\u03B2!"},
                      ConvertCase{"\\\\:latin-small-letter-eng.", "\\\u014B."}));

INSTANTIATE_TEST_SUITE_P(
    Header, ConverterConvert,
    ::testing::Values(
        ConvertCase{"<:glyphloom>\r\nab", "ab"}, ConvertCase{"<:glyphloom>\rab", "\rab"},
        ConvertCase{with_version(kPrefix + "1", "\nab"), "ab"},
        ConvertCase{with_version(kPrefix + "42", ""), ""},
        ConvertCase{
            with_version(kPrefix, "x"), "x", {{"unsupported glyphloom version " + kPrefix, 0}}},
        ConvertCase{with_version(kPrefix + "1b", "x"),
                    "x",
                    {{"unsupported glyphloom version " + kPrefix + "1b", 0}}},
        ConvertCase{with_version("2.0", " <:bold %>"),
                    " %",
                    {{"unsupported glyphloom version 2.0", 0}, {"no bold form of %", 27}}}));

INSTANTIATE_TEST_SUITE_P(
    BlocksAndMetas, ConverterConvert,
    ::testing::Values(
        ConvertCase{"<:greek>a b<:/greek>", "\u03B1 \u03B2"},
        ConvertCase{"<:above>\u65E5 \u6708<:>", "\u2FF1\u65E5\u6708"},
        ConvertCase{"<:above>sun moon<:>sun", "\u2FF1\u65E5\u6708sun"},
        // Any whitespace character ends a word and stays; adjacent ones leave empty words.
        ConvertCase{"<:greek>alpha\tb\na  b\u3000a ",
                    "\u03B1\t\u03B2\n\u03B1  \u03B2\u3000\u03B1 "},
        // Warnings carry the offset of the whole stretch of plain text.
        ConvertCase{"<:greek>a %<:>", "\u03B1 %", {{"no greek form of %", 8}}},
        ConvertCase{"<:greek>a<:bold>a<:>a", "\u03B1\U0001D41Aa"},
        ConvertCase{"<:greek>a<:/nosuch>a<:greek>a<:/>a", "\u03B1a\u03B1a"},
        // Tags and short references inside a block are not converted by it.
        ConvertCase{"<:greek>a<:bold a>\\:alpha b", "\u03B1\U0001D41A\u03B1 \u03B2"},
        // A closing meta leaves the block open.
        ConvertCase{"<:greek>a<:/color>b",
                    "\u03B1" + meta_tags(MetaKind::Close, "color") + "\u03B2"},
        ConvertCase{"<:font han-japanese>\u6F22<:/font>",
                    meta_tags(MetaKind::Open, "font", "han-japanese") + "\u6F22" +
                        meta_tags(MetaKind::Close, "font")}));

TEST(ConverterConvert, Fails) {
  const Glyphloom converter = converter_with();
  EXPECT_EQ(failure(converter, "<:glyphloom"), "unclosed <: at <:glyphloom");
  EXPECT_EQ(failure(converter, "<:glyphloomx>"), "unknown glyphloom entity: glyphloomx");
  EXPECT_EQ(failure(converter, "\\: x"), "unknown glyphloom entity: ");
  EXPECT_EQ(failure(converter, "a <:bold a> <:b"), "unclosed <: at <:b");
  EXPECT_EQ(failure(converter, "<:greek>a<:zzz>"), "unknown glyphloom entity: zzz");
  EXPECT_EQ(failure(converter, with_version("0", "x"), WarningMode::Error),
            "glyphloom: unsupported glyphloom version 0 at byte 0");
}

TEST(ConverterConvert, LargeHostileInputsStayLinear) {
  // Shapes that a scan restarting at every candidate, or a lookup per prefix, makes quadratic.
  const Glyphloom converter = converter_with();
  const size_t n = 200000;
  std::string colons, refs, block = "<:greek>", tag = "<:bold ";
  for (size_t i = 0; i < n; ++i) colons += "a:<", refs += "\\:alpha", block += "a ", tag += "ab";
  EXPECT_EQ(converted(converter, colons).text, colons);
  EXPECT_EQ(converted(converter, refs).text.size(), 2 * n);
  EXPECT_EQ(converted(converter, block).text.size(), 3 * n);
  EXPECT_EQ(converted(converter, tag + ">").text.size(), 8 * n);
  EXPECT_EQ(converted(converter, tag, WarningMode::Lenient).text, tag);
}

}  // namespace
}  // namespace glyphloom
