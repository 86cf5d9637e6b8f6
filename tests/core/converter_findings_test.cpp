#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "converter_test_image.hpp"
#include "glyphloom/glyphloom.hpp"

namespace glyphloom {
namespace {

using testing::converted;
using testing::converter_with;
using testing::failure;

TEST(ConverterKept, ReturnsTheErrorUnlessLenient) {
  const Glyphloom converter = converter_with();
  const Error error = UnknownEntity{"zzz"};
  for (const WarningMode mode : {WarningMode::Warn, WarningMode::Error}) {
    const auto result = converter.kept(error, "<:zzz>", 2, mode);
    ASSERT_TRUE(std::holds_alternative<Error>(result));
    EXPECT_EQ(std::get<Error>(result), error);
  }
  const auto lenient = converter.kept(error, "<:zzz>", 2, WarningMode::Lenient);
  ASSERT_TRUE(std::holds_alternative<std::string>(lenient));
  EXPECT_EQ(std::get<std::string>(lenient), "<:zzz>");
}

struct LenientCase {
  std::string source;
  std::string fatal;  // the error's textual form in mode warn
  Warning warning;    // what mode lenient records instead, keeping the source
};

class ConverterLenient : public ::testing::TestWithParam<LenientCase> {};

TEST_P(ConverterLenient, KeepsTheSourceAndRecordsTheErrorAsAWarning) {
  const Glyphloom converter = converter_with();
  const auto& c = GetParam();
  EXPECT_EQ(failure(converter, c.source), c.fatal);
  EXPECT_EQ(failure(converter, c.source, WarningMode::Error), c.fatal);
  const Converted lenient = converted(converter, c.source, WarningMode::Lenient);
  EXPECT_EQ(lenient.text, c.source);
  EXPECT_EQ(lenient.warnings, std::vector<Warning>{c.warning});
}

INSTANTIATE_TEST_SUITE_P(
    EveryError, ConverterLenient,
    ::testing::Values(
        LenientCase{"x <:zzz> y", "unknown glyphloom entity: zzz",
                    {"unknown glyphloom entity: zzz", 2}},
        LenientCase{"ab \\:alpha2", "unknown glyphloom entity: alpha2",
                    {"unknown glyphloom entity: alpha2", 3}},
        LenientCase{"ab<:cd", "unclosed <: at <:cd", {"unclosed <: at <:cd", 2}},
        LenientCase{"<:color ???>", "invalid meta value in <:color ???>",
                    {"invalid meta value in <:color ???>", 0}},
        LenientCase{"<:nosuch a>", "unknown glyphloom entity: nosuch a",
                    {"unknown glyphloom entity: nosuch a", 0}}));

TEST(ConverterLenientUnclosed, EndsTheConversion) {
  const Glyphloom converter = converter_with();
  const Converted result = converted(converter, "\\:alpha<:beta \\:beta", WarningMode::Lenient);
  EXPECT_EQ(result.text, "\u03B1<:beta \\:beta");
  EXPECT_EQ(testing::messages(result.warnings),
            std::vector<std::string>{"unclosed <: at <:beta \\:beta"});
}

TEST(ConverterErrorMode, FirstWarningBecomesUnsupported) {
  const Glyphloom converter = converter_with();
  // Two findings: the first one wins, the output and the rest are dropped.
  const auto result = converter.convert("ab<:bold %> <:flip \U00013000>", WarningMode::Error);
  ASSERT_TRUE(std::holds_alternative<Error>(result));
  EXPECT_EQ(std::get<Error>(result), Error{Unsupported{{"no bold form of %", 2}}});
  EXPECT_EQ(error_text(std::get<Error>(result)), "glyphloom: no bold form of % at byte 2");
}

TEST(ConverterWarnings, NeverCarryIntoTheNextCall) {
  const Glyphloom converter = converter_with();
  EXPECT_EQ(converted(converter, "<:bold %>").warnings.size(), 1u);
  EXPECT_TRUE(converted(converter, "\\:alpha").warnings.empty());
  // A failed call leaves its findings behind; the next call starts clean all the same.
  EXPECT_EQ(failure(converter, "<:bold %><:zzz>"), "unknown glyphloom entity: zzz");
  EXPECT_TRUE(converted(converter, "plain").warnings.empty());
}

}  // namespace
}  // namespace glyphloom
