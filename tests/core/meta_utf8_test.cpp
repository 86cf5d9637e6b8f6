#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "glyphloom/meta.hpp"

namespace glyphloom {
namespace {

TEST(MetaUtf8, DecodesOrReplacesOneByte) {
  // Valid characters; then a lone continuation byte, truncated, overlong, surrogate, too large,
  // bad lead and bad trail bytes.
  const struct {
    std::string bytes;
    char32_t cp;
    size_t length;
  } cases[] = {{"a", 'a', 1},
               {"\xC3\xA9", 0xE9, 2},
               {"\xE6\xBC\xA2", 0x6F22, 3},
               {"\xEF\xBF\xBD", 0xFFFD, 3},
               {"\xF3\xA0\x81\xBF", 0xE007F, 4},
               {"\xF4\x8F\xBF\xBF", 0x10FFFF, 4},
               {"\x80", 0xFFFD, 1},
               {"\xC3", 0xFFFD, 1},
               {"\xF3\xA0\x81", 0xFFFD, 1},
               {"\xC0\x80", 0xFFFD, 1},
               {"\xE0\x9F\xBF", 0xFFFD, 1},
               {"\xF0\x8F\xBF\xBF", 0xFFFD, 1},
               {"\xED\xA0\x80", 0xFFFD, 1},
               {"\xF4\x90\x80\x80", 0xFFFD, 1},
               {"\xF8\x88\x80\x80", 0xFFFD, 1},
               {"\xE6\x41\xA2", 0xFFFD, 1}};
  for (const auto& c : cases) {
    // An exact-size heap copy, so that the address sanitizer sees any read past the view.
    const std::vector<char> heap(c.bytes.begin(), c.bytes.end());
    const std::string_view view(heap.data(), heap.size());
    const utf8::Decoded d = utf8::decode(view, 0);
    EXPECT_EQ(d.cp, c.cp) << testing::PrintToString(c.bytes);
    EXPECT_EQ(d.length, c.length) << testing::PrintToString(c.bytes);
    EXPECT_EQ(utf8::valid(view), c.cp != 0xFFFD || c.length == 3)
        << testing::PrintToString(c.bytes);
  }
}

TEST(MetaUtf8, DecodeAtOrPastTheEndReadsNothing) {
  EXPECT_EQ(utf8::decode("", 0).length, 0u);
  EXPECT_EQ(utf8::decode("ab", 5).length, 0u);
  EXPECT_EQ(utf8::decode("a\xC3\xA9", 1).cp, 0xE9u);
}

TEST(MetaUtf8, AppendRoundTripsEveryLengthAndReplacesNonScalars) {
  for (char32_t cp : {0x0u, 0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xFFFFu, 0x10000u, 0x10FFFFu}) {
    std::string out;
    utf8::append(out, cp);
    const utf8::Decoded d = utf8::decode(out, 0);
    EXPECT_EQ(d.cp, cp);
    EXPECT_EQ(d.length, out.size());
  }
  for (char32_t cp : {0xD800u, 0xDFFFu, 0x110000u}) {
    std::string out;
    utf8::append(out, cp);
    EXPECT_EQ(out, "\xEF\xBF\xBD");
  }
}

TEST(MetaUtf8, ValidFindsAFaultAfterLongAscii) {
  const std::string ascii(1000, 'a');
  EXPECT_TRUE(utf8::valid(ascii + "\xC3\xA9" + ascii));
  for (size_t at : {0u, 7u, 8u, 999u}) {
    std::string text = ascii;
    text[at] = '\xFF';
    EXPECT_FALSE(utf8::valid(text)) << at;
  }
  EXPECT_FALSE(utf8::valid(ascii + "\xE6\xBC"));
}

TEST(MetaUtf8, WhiteSpaceIsTheUnicodeProperty) {
  for (char32_t cp : {0x9u, 0xAu, 0xBu, 0xCu, 0xDu, 0x20u, 0x85u, 0xA0u, 0x1680u, 0x2000u, 0x200Au,
                      0x2028u, 0x2029u, 0x202Fu, 0x205Fu, 0x3000u}) {
    EXPECT_TRUE(utf8::is_white_space(cp)) << std::hex << static_cast<uint32_t>(cp);
  }
  for (char32_t cp :
       {0x8u, 0xEu, 0x1Fu, 0x21u, 0x84u, 0x180Eu, 0x200Bu, 0x200Du, 0xFEFFu, 0x3001u}) {
    EXPECT_FALSE(utf8::is_white_space(cp)) << std::hex << static_cast<uint32_t>(cp);
  }
}

}  // namespace
}  // namespace glyphloom
