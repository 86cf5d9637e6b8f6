#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter_test_image.hpp"
#include "glyphloom/glyphloom.hpp"

namespace glyphloom {
namespace {

TEST(ConverterFont, ReadsTheFontRecord) {
  auto rows = testing::converter_rows();
  rows[3] = {{"han-jis78 ", ""},
             {"han-jis78 lang", "ja"},
             {"han-jis78 families", " Noto Sans CJK JP, ,Hiragino Sans "},
             {"han-jis78 features", "jp78"},
             {"bare ", ""}};
  const Glyphloom converter(testing::make_index(rows));
  using Names = std::vector<std::string_view>;
  const auto jis = converter.font("han-jis78");
  ASSERT_TRUE(jis.has_value());
  EXPECT_EQ(jis->name, "han-jis78");
  EXPECT_EQ(jis->lang, "ja");
  EXPECT_EQ(jis->families, (Names{"Noto Sans CJK JP", "Hiragino Sans"}));
  EXPECT_EQ(jis->features, Names{"jp78"});
  // Only the marker is required.
  const auto bare = converter.font("bare");
  ASSERT_TRUE(bare.has_value());
  EXPECT_EQ(bare->name, "bare");
  EXPECT_EQ(bare->lang, "");
  EXPECT_TRUE(bare->families.empty() && bare->features.empty());
  for (const char* name : {"han-jis78 ", "Han-Jis78", "", "lang"}) {
    EXPECT_FALSE(converter.font(name).has_value()) << name;
  }
}

}  // namespace
}  // namespace glyphloom
