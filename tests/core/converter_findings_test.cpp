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
using testing::failure;

TEST(ConverterKept, ReturnsTheErrorUnlessLenient) {
  const Glyphloom converter = converter_with();
  const Error error = UnknownEntity{"zzz"};
  for (const WarningMode mode : {WarningMode::Warn, WarningMode::Error}) {
    EXPECT_EQ(detail::kept(converter, error, "<:zzz>", 2, mode), (Result<std::string>{error}));
  }
  EXPECT_EQ(detail::kept(converter, error, "<:zzz>", 2, WarningMode::Lenient),
            (Result<std::string>{"<:zzz>"}));
}

struct LenientCase {
  std::string source;
  std::string error;  // fatal in modes warn and error, a warning at `byte` in mode lenient
  size_t byte;
};

class ConverterLenient : public ::testing::TestWithParam<LenientCase> {};

TEST_P(ConverterLenient, KeepsTheSourceAndRecordsTheError) {
  const Glyphloom converter = converter_with();
  const auto& c = GetParam();
  EXPECT_EQ(failure(converter, c.source), c.error);
  EXPECT_EQ(failure(converter, c.source, WarningMode::Error), c.error);
  const Converted lenient = converted(converter, c.source, WarningMode::Lenient);
  EXPECT_EQ(lenient.text, c.source);
  EXPECT_EQ(lenient.warnings, (std::vector<Warning>{{c.error, c.byte}}));
}

INSTANTIATE_TEST_SUITE_P(
    EveryError, ConverterLenient,
    ::testing::Values(LenientCase{"x <:zzz> y", "unknown glyphloom entity: zzz", 2},
                      LenientCase{"ab \\:alpha2", "unknown glyphloom entity: alpha2", 3},
                      LenientCase{"ab<:cd \\:alpha", "unclosed <: at <:cd \\:alpha", 2},
                      LenientCase{"<:color ?\?\?>", "invalid meta value in <:color ?\?\?>", 0},
                      LenientCase{"<:nosuch a>", "unknown glyphloom entity: nosuch a", 0}));

TEST(ConverterErrorMode, FirstWarningBecomesUnsupported) {
  const auto result =
      converter_with().convert("ab<:bold %> <:flip \U00013000>", WarningMode::Error);
  ASSERT_TRUE(std::holds_alternative<Error>(result));
  EXPECT_EQ(std::get<Error>(result), (Error{Unsupported{{"no bold form of %", 2}}}));
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
