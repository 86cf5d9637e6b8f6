#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "glyphloom/glyphloom.hpp"
#include "glyphloom/meta.hpp"
#include "test_images.hpp"
#include "test_text.hpp"

namespace glyphloom {
namespace {

using test_text::A;
using test_text::C;
using test_text::O;

const Glyphloom& converter() {
  static const Glyphloom instance(testing::default_index());
  return instance;
}

const std::string kHanJapanese =
    "<span lang=\"ja\" style=\"font-family: 'Noto Sans CJK JP', 'Hiragino Sans'\">";
const std::string kRed = "<span style=\"color: red\">";
const std::string kLarge = "<span style=\"font-size: 2em\">";

struct SpanCase {
  std::string key;
  std::string value;
  std::string tag;
};

class RenderSpan : public ::testing::TestWithParam<SpanCase> {};

TEST_P(RenderSpan, OpensTheElement) {
  EXPECT_EQ(converter().span({GetParam().key, GetParam().value, 0, 1, 0}), GetParam().tag);
}

INSTANTIATE_TEST_SUITE_P(
    RenderSpans, RenderSpan,
    ::testing::Values(
        SpanCase{"font", "han-japanese", kHanJapanese},
        SpanCase{"font", "han-jis78",
                 "<span lang=\"ja\" style=\"font-family: 'Noto Sans CJK JP', 'Hiragino Sans'; "
                 "font-feature-settings: 'jp78'\">"},
        SpanCase{"font", "Times", "<span style=\"font-family: 'Times'\">"},
        SpanCase{"color", "red", kRed},
        SpanCase{"angle", "90", "<span style=\"display: inline-block; transform: rotate(90deg)\">"},
        SpanCase{"lang", "en", "<span lang=\"en\">"},
        SpanCase{"x-id", "42", "<span data-x-id=\"42\">"},
        SpanCase{"color", "a\"b", "<span style=\"color: a&quot;b\">"},
        SpanCase{"lang", "<en>", "<span lang=\"&lt;en&gt;\">"},
        SpanCase{"x-id", "'&'", "<span data-x-id=\"'&amp;'\">"},
        SpanCase{"font", "Times & <Co>", "<span style=\"font-family: 'Times &amp; &lt;Co&gt;'\">"},
        // A key that is no meta key could name attributes of its own; it gives none.
        SpanCase{"x onclick=\"alert(1)\" y", "1", "<span>"}, SpanCase{"X", "1", "<span>"},
        SpanCase{"", "1", "<span>"}));

// The parts of a span that come from the image: a font without language or families, a template
// that is empty or repeats its placeholder, and lang/font without templates.
TEST(RenderSpanImage, FollowsTheTables) {
  const Glyphloom custom(
      testing::make_index({{},
                           {},
                           {},
                           {{"bare ", ""}, {"cjk ", ""}, {"cjk lang", "zh"}, {"cjk families", "A"}},
                           {{"empty", ""}, {"twice", "{}-{}"}}}));
  EXPECT_EQ(custom.span({"font", "bare", 0, 1, 0}), "<span lang=\"\" style=\"font-family: \">");
  EXPECT_EQ(custom.span({"font", "cjk", 0, 1, 0}), "<span lang=\"zh\" style=\"font-family: 'A'\">");
  EXPECT_EQ(custom.span({"font", "other", 0, 1, 0}), "<span data-font=\"other\">");
  EXPECT_EQ(custom.span({"lang", "en", 0, 1, 0}), "<span lang=\"en\">");
  EXPECT_EQ(custom.span({"empty", "x", 0, 1, 0}), "<span style=\"\">");
  EXPECT_EQ(custom.span({"twice", "{}", 0, 1, 0}), "<span style=\"{}-{}\">");
}

TEST(RenderMetaTemplate, LooksUpTheKey) {
  EXPECT_EQ(converter().meta_template("lang"), std::optional<std::string_view>(""));
  EXPECT_EQ(converter().meta_template("color"), std::optional<std::string_view>("color: {}"));
  EXPECT_EQ(converter().meta_template("zz"), std::nullopt);
  EXPECT_EQ(converter().meta_template("Color"), std::nullopt);
}

struct HtmlCase {
  std::string name;
  std::string text;
  std::vector<MetaRun> runs;
  std::string html;
};

class RenderHtml : public ::testing::TestWithParam<HtmlCase> {};

TEST_P(RenderHtml, InterleavesTextAndElements) {
  const Styled styled{GetParam().text, GetParam().runs, {{"ignored", 0}}};
  EXPECT_EQ(converter().html(styled), GetParam().html);
}

INSTANTIATE_TEST_SUITE_P(
    RenderHtmls, RenderHtml,
    ::testing::Values(HtmlCase{"FontRun",
                               "漢字 <ok>",
                               {{"font", "han-japanese", 0, 6, 0}},
                               kHanJapanese + "漢字</span> &lt;ok&gt;"},
                      HtmlCase{"Nested",
                               "abc",
                               {{"color", "red", 0, 3, 0}, {"size", "2em", 1, 2, 0}},
                               kRed + "a" + kLarge + "b</span>c</span>"},
                      HtmlCase{"Siblings",
                               "abc",
                               {{"color", "red", 0, 1, 0}, {"size", "2em", 1, 2, 0}},
                               kRed + "a</span>" + kLarge + "b</span>c"},
                      HtmlCase{"EqualBoundsFirstOutermost",
                               "ab",
                               {{"color", "red", 0, 1, 0}, {"size", "2em", 0, 1, 0}},
                               kRed + kLarge + "a</span></span>b"},
                      HtmlCase{"NoRuns", "a<b>&\"c'", {}, "a&lt;b&gt;&amp;&quot;c'"},
                      HtmlCase{"Empty", "", {}, ""}),
    [](const auto& info) { return info.param.name; });

struct RunsCase {
  std::string name;
  std::string tagged;
  std::vector<MetaRun> runs;
  std::vector<Warning> warnings;
};

class RenderMetaRuns : public ::testing::TestWithParam<RunsCase> {};

TEST_P(RenderMetaRuns, WarnsAboutUnknownKeysInOrder) {
  const Styled styled = converter().meta_runs(GetParam().tagged);
  EXPECT_EQ(styled.runs, GetParam().runs);
  EXPECT_EQ(styled.warnings, GetParam().warnings);
}

const size_t kOpenZz = O("zz", "1").size();
const size_t kOpenColor = O("color", "red").size();

INSTANTIATE_TEST_SUITE_P(
    RenderRuns, RenderMetaRuns,
    ::testing::Values(
        RunsCase{"KnownKey",
                 O("font", "han-japanese") + "漢字" + C("font"),
                 {{"font", "han-japanese", 0, 6, 0}},
                 {}},
        RunsCase{"UnknownKey",
                 O("zz", "1") + "a" + C("zz"),
                 {{"zz", "1", 0, 1, 0}},
                 {{"unknown meta key zz", 0}}},
        RunsCase{"UnknownAttached",
                 "a" + A("zz", "1"),
                 {{"zz", "1", 0, 1, 1}},
                 {{"unknown meta key zz", 1}}},
        // The parser records the unpaired close first; the result is ordered by offset.
        RunsCase{"OrderedByOffset",
                 "x" + O("zz", "1") + "y" + C("font") + "z",
                 {{"zz", "1", 1, 3, 1}},
                 {{"unknown meta key zz", 1}, {"</font closes no open font", 2 + kOpenZz}}},
        // A run split at a crossed close warns once per piece.
        RunsCase{"SplitRunWarnsPerPiece",
                 O("color", "red") + "y" + O("zz", "1") + "z" + C("color") + "w" + C("zz"),
                 {{"color", "red", 0, 2, 0},
                  {"zz", "1", 1, 2, kOpenColor + 1},
                  {"zz", "1", 2, 3, kOpenColor + 2 + kOpenZz}},
                 {{"unknown meta key zz", kOpenColor + 1},
                  {"unknown meta key zz", kOpenColor + 2 + kOpenZz}}}),
    [](const auto& info) { return info.param.name; });

// The path text takes through the converter: tagged text, runs, HTML.
TEST(RenderPipeline, TaggedTextToHtml) {
  const std::string tagged =
      O("font", "han-japanese") + "漢" + A("color", "red") + "字" + C("font") + " <x>";
  EXPECT_EQ(converter().html(converter().meta_runs(tagged)),
            kHanJapanese + kRed + "漢</span>字</span> &lt;x&gt;");
}

}  // namespace
}  // namespace glyphloom
