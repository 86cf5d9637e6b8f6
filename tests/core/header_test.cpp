#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "glyphloom/glyphloom.hpp"

namespace glyphloom {
namespace {

struct HeaderCase {
  std::string source;
  std::optional<std::string> version;  // none: no header
  size_t length = 0;
};

class HeaderTest : public testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderTest, FindsVersionAndLength) {
  const HeaderCase& c = GetParam();
  const std::optional<Header> found = header(c.source);
  ASSERT_EQ(found.has_value(), c.version.has_value());
  if (!found) return;
  EXPECT_EQ(found->version, *c.version);
  EXPECT_EQ(found->length, c.length);
  // The version is a slice of the source itself.
  if (!found->version.empty()) {
    EXPECT_GE(found->version.data(), c.source.data());
    EXPECT_LE(found->version.data() + found->version.size(), c.source.data() + c.source.size());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Header, HeaderTest,
    testing::Values(HeaderCase{"<:glyphloom version=\"x\">\nabc", "x", 25},
                    HeaderCase{"<:glyphloom>\r\nx", "", 14}, HeaderCase{"<:glyphloom>\rx", "", 12},
                    HeaderCase{"<:glyphloom>\n\nx", "", 13}, HeaderCase{"<:glyphloom>", "", 12},
                    HeaderCase{"<:glyphloom version=\"https://glyphloom.org/v1\">",
                               "https://glyphloom.org/v1", 47},
                    HeaderCase{"<:glyphloom a=\"1\" version=\"v2\" version=\"v3\">", "v2", 44},
                    HeaderCase{"<:glyphloom version=\"open>", "open", 26},
                    HeaderCase{"<:glyphloom version=x>", "", 22},
                    HeaderCase{"<:glyphloom myversion=\"q\">", "q", 26},
                    HeaderCase{"<:glyphloom", std::nullopt}, HeaderCase{"", std::nullopt},
                    HeaderCase{"<:glyphloomx>", std::nullopt},
                    HeaderCase{"<:glyphloom version=\"x\"", std::nullopt},
                    HeaderCase{" <:glyphloom>", std::nullopt},
                    HeaderCase{"<:Glyphloom>", std::nullopt}));

TEST(HeaderErrorText, GivesTheFourForms) {
  EXPECT_EQ(error_text(UnknownEntity{"alpha2"}), "unknown glyphloom entity: alpha2");
  EXPECT_EQ(error_text(Unclosed{"<:glyphloom"}), "unclosed <: at <:glyphloom");
  EXPECT_EQ(error_text(Unsupported{{"x", 3}}), "glyphloom: x at byte 3");
  EXPECT_EQ(error_text(InvalidMeta{"color red;x"}), "invalid meta value in <:color red;x>");
  EXPECT_EQ(error_text(UnknownEntity{""}), "unknown glyphloom entity: ");
  EXPECT_EQ((Warning{"no bold form of x", 1234567}).text(),
            "glyphloom: no bold form of x at byte 1234567");
}

}  // namespace
}  // namespace glyphloom
