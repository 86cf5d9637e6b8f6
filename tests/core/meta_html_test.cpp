#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "glyphloom/meta.hpp"
#include "text/comma.hpp"

namespace glyphloom {
namespace {

TEST(HtmlEscape, EscapesTheFourSpecialCharactersOnly) {
  EXPECT_EQ(escape_html("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c'");
  EXPECT_EQ(escape_html("&amp;"), "&amp;amp;");
  EXPECT_EQ(escape_html(""), "");
  std::string out = "x";
  append_escaped_html(out, "漢<");
  EXPECT_EQ(out, "x漢&lt;");
}

TEST(HtmlList, SplitsTrimsAndDropsEmptyItems) {
  using List = std::vector<std::string_view>;
  using text::comma_items;
  EXPECT_EQ(comma_items(" a, ,b ,"), (List{"a", "b"}));
  EXPECT_EQ(comma_items(""), List{});
  EXPECT_EQ(comma_items(",,"), List{});
  EXPECT_EQ(comma_items("Noto Sans CJK JP, Hiragino Sans"),
            (List{"Noto Sans CJK JP", "Hiragino Sans"}));
  EXPECT_EQ(comma_items("\u3000x\u00A0y\u2028,\t\n"), (List{"x\u00A0y"}));
  EXPECT_EQ(comma_items("\xC3,\x80"), (List{"\xC3", "\x80"}));
}

std::string render(const std::string& text, std::vector<MetaRun> runs) {
  const Styled styled{text, std::move(runs), {}};
  return styled.interleaved(
      "</>", [](std::string_view s) { return escape_html(s); },
      [](const MetaRun& r) { return "<" + r.key + ">"; });
}

TEST(HtmlInterleaved, NestsAndSiblingsAsListed) {
  EXPECT_EQ(render("a<b", {}), "a&lt;b");
  EXPECT_EQ(render("abc", {{"b", "", 0, 3, 0}, {"i", "", 1, 2, 0}}), "<b>a<i>b</>c</>");
  EXPECT_EQ(render("abc", {{"b", "", 0, 1, 0}, {"i", "", 1, 2, 0}}), "<b>a</><i>b</>c");
  EXPECT_EQ(render("ab", {{"x", "", 0, 2, 0}, {"y", "", 0, 2, 0}}), "<x><y>ab</></>");
  EXPECT_EQ(render("漢字 <ok>", {{"f", "", 0, 6, 0}}), "<f>漢字</> &lt;ok&gt;");
}

TEST(HtmlInterleaved, ClampsRunsThatBreakTheOrder) {
  EXPECT_EQ(render("abc", {{"x", "", 1, 9, 0}}), "a<x>bc</>");  // beyond the text
  EXPECT_EQ(render("abc", {{"x", "", 2, 1, 0}}), "ab<x></>c");  // start after end
  EXPECT_EQ(render("abcd", {{"x", "", 0, 3, 0}, {"y", "", 2, 4, 0}}), "<x>ab<y>c</></>d");
  EXPECT_EQ(render("abc", {{"x", "", 2, 3, 0}, {"y", "", 0, 1, 0}}), "ab<x><y></>c</>");
  EXPECT_EQ(render("漢", {{"x", "", 1, 2, 0}}), "漢<x></>");  // inside a character
}

// Any run list: every byte once and in order, balanced elements, no character split.
TEST(HtmlInterleaved, ArbitraryRunsLoseNoTextAndCloseEveryElement) {
  std::mt19937 random(99);
  const std::string text = "a漢b字c" + std::string("\xF0\x9F\x98\x80") + "d";
  for (int round = 0; round < 5000; ++round) {
    std::vector<MetaRun> runs(random() % 8);
    for (MetaRun& r : runs) {
      r.start = random() % (text.size() + 4);
      r.end = random() % 3 == 0 ? SIZE_MAX - random() % 2 : random() % (text.size() + 4);
    }
    const Styled styled{text, runs, {}};
    std::string seen;
    const std::string out = styled.interleaved(
        ")",
        [&](std::string_view s) {
          EXPECT_TRUE(utf8::valid(s));
          seen += s;
          return std::string(s);
        },
        [](const MetaRun&) { return "("; });
    ASSERT_EQ(seen, text);
    int depth = 0, opened = 0;
    for (char c : out) {
      if (c == '(') {
        ++depth;
        ++opened;
      } else if (c == ')') {
        ASSERT_GE(--depth, 0);
      }
    }
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(opened, static_cast<int>(runs.size()));
  }
}

}  // namespace
}  // namespace glyphloom
