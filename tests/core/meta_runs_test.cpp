#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "glyphloom/meta.hpp"
#include "test_text.hpp"

namespace glyphloom {
namespace {

using test_text::A;
using test_text::C;
using test_text::O;
using test_text::u8;

struct RunsCase {
  std::string name;
  std::string tagged;
  std::string text;
  std::vector<MetaRun> runs;
  std::vector<Warning> warnings;
};

class RunsParseTest : public testing::TestWithParam<RunsCase> {};

TEST_P(RunsParseTest, SplitsTextRunsAndWarnings) {
  const Styled styled = Styled::parse(GetParam().tagged);
  EXPECT_EQ(styled.text, GetParam().text);
  EXPECT_EQ(styled.runs, GetParam().runs);
  EXPECT_EQ(styled.warnings, GetParam().warnings);
}

const std::string kFlag = u8(0x1F3F4) + "\xF3\xA0\x81\xA7\xF3\xA0\x81\xA2\xF3\xA0\x81\xA5" +
                          "\xF3\xA0\x81\xAE\xF3\xA0\x81\xA7\xF3\xA0\x81\xBF";

INSTANTIATE_TEST_SUITE_P(
    Runs, RunsParseTest,
    testing::Values(
        RunsCase{"plain", "ab", "ab", {}, {}},
        RunsCase{"paired",
                 O("font", "han-japanese") + "漢字" + C("font"),
                 "漢字",
                 {{"font", "han-japanese", 0, 6, 0}},
                 {}},
        RunsCase{"crossed",
                 "x" + O("b", "1") + "y" + O("i", "1") + "z" + C("b") + "w" + C("i"),
                 "xyzw",
                 {{"b", "1", 1, 3, 1}, {"i", "1", 2, 3, 22}, {"i", "1", 3, 4, 43}},
                 {}},
        RunsCase{
            "crossed_repeated_key",
            O("a", "1") + O("b", "1") + O("a", "2") + "x" + C("b") + "y",
            "xy",
            {{"a", "1", 0, 2, 0}, {"b", "1", 0, 1, 20}, {"a", "2", 0, 1, 40}, {"a", "2", 1, 2, 61}},
            {}},
        RunsCase{"same_key_nested",
                 O("b", "1") + O("b", "2") + "x" + C("b") + "y" + C("b"),
                 "xy",
                 {{"b", "1", 0, 2, 0}, {"b", "2", 0, 1, 20}},
                 {}},
        RunsCase{"stray_close", C("font") + "a", "a", {}, {{"</font closes no open font", 0}}},
        RunsCase{"attached", "a" + A("color", "red") + "b", "ab", {{"color", "red", 0, 1, 1}}, {}},
        RunsCase{"attached_cluster",
                 "e" + u8(0x301) + A("color", "red"),
                 "e" + u8(0x301),
                 {{"color", "red", 0, 3, 3}},
                 {}},
        RunsCase{"attached_first", A("color", "red") + "a", "a", {}, {}},
        // ASCII is copied a run at a time: each character starts a cluster, the first one only
        // when no joiner comes before it.
        RunsCase{"attached_ascii_run", "xyz" + A("c", "r"), "xyz", {{"c", "r", 2, 3, 3}}, {}},
        RunsCase{"attached_ascii_after_joiner",
                 "x" + u8(0x200D) + "y" + A("c", "r"),
                 "x" + u8(0x200D) + "y",
                 {{"c", "r", 0, 5, 5}},
                 {}},
        RunsCase{"attached_ascii_run_after_joiner",
                 u8(0x200D) + "xy" + A("c", "r") + u8(0x200D) + "z" + A("c", "s"),
                 u8(0x200D) + "xy" + u8(0x200D) + "z",
                 {{"c", "s", 4, 9, 29}, {"c", "r", 4, 5, 5}},
                 {}},
        RunsCase{"attached_pairs",
                 "a" + A("color", "red") + A("weight", "bold") + "b" + A("color", "red") +
                     A("weight", "bold"),
                 "ab",
                 {{"color", "red", 0, 1, 1},
                  {"weight", "bold", 0, 1, 45},
                  {"color", "red", 1, 2, 98},
                  {"weight", "bold", 1, 2, 142}},
                 {}},
        RunsCase{"empty_pair", O("color", "red") + C("color"), "", {}, {}},
        RunsCase{"unclosed", O("color", "red") + "abc", "abc", {{"color", "red", 0, 3, 0}}, {}},
        RunsCase{"emoji_flag", kFlag, kFlag, {}, {}},
        // An open or close inside a cluster clips the attached run to it, so the runs nest.
        RunsCase{"open_inside_cluster",
                 "a" + O("x", "1") + u8(0x301) + A("c", "r") + "b" + C("x"),
                 "a" + u8(0x301) + "b",
                 {{"x", "1", 1, 4, 1}, {"c", "r", 1, 3, 23}},
                 {}},
        RunsCase{"close_inside_cluster",
                 O("x", "1") + "e" + C("x") + u8(0x301) + A("c", "r"),
                 "e" + u8(0x301),
                 {{"x", "1", 0, 1, 0}, {"c", "r", 1, 3, 39}},
                 {}},
        RunsCase{"open_after_cluster",
                 "a" + O("x", "1") + A("c", "r") + "b",
                 "ab",
                 {{"c", "r", 0, 1, 21}, {"x", "1", 1, 2, 1}},
                 {}}),
    [](const auto& info) { return info.param.name; });

bool on_boundary(const std::string& text, size_t pos) {
  return pos == text.size() || (static_cast<uint8_t>(text[pos]) & 0xC0) != 0x80;
}

// The invariants of a parsed run list: non-empty, on character boundaries, sorted, nested.
testing::AssertionResult well_formed(const Styled& s) {
  for (size_t i = 0; i < s.runs.size(); ++i) {
    const MetaRun& r = s.runs[i];
    if (r.start >= r.end || r.end > s.text.size() || !on_boundary(s.text, r.start) ||
        !on_boundary(s.text, r.end)) {
      return testing::AssertionFailure() << "bad bounds of run " << i;
    }
    for (size_t j = 0; j < i; ++j) {
      const MetaRun& q = s.runs[j];
      if (q.start > r.start || (q.start == r.start && q.end < r.end)) {
        return testing::AssertionFailure() << "run " << j << " sorted before run " << i;
      }
      if (r.start < q.end && q.end < r.end) {
        return testing::AssertionFailure() << "runs " << j << " and " << i << " cross";
      }
    }
  }
  return testing::AssertionSuccess();
}

// Whatever the tagged text, the plain text is the text without its metas and the runs nest.
TEST(RunsParse, RandomTaggedTextsGiveNestedSortedRuns) {
  std::mt19937 random(7);
  const std::vector<std::string> plain = {"a",         "b",         "漢",        u8(0x301),
                                          u8(0x200D),  u8(0x13430), u8(0x1F3FB), u8(0xE0061),
                                          u8(0xE0001), u8(0xE007F), " ",         "\xFF"};
  const std::vector<std::string> keys = {"a", "b", "c"};
  for (int round = 0; round < 3000; ++round) {
    std::string tagged, expected;
    for (int n = random() % 40; n > 0; --n) {
      const std::string& key = keys[random() % keys.size()];
      const unsigned pick = random() % 6;
      if (pick == 0) {
        tagged += O(key, "1");
      } else if (pick == 1) {
        tagged += C(key);
      } else if (pick == 2) {
        tagged += A(key, "2");
      } else {
        const std::string& c = plain[random() % plain.size()];
        tagged += c;
        expected += c;
      }
    }
    const Styled styled = Styled::parse(tagged);
    ASSERT_EQ(styled.text, expected);
    ASSERT_TRUE(well_formed(styled)) << testing::PrintToString(tagged);
  }
}

// Each crossed close continues every run above it; hostile nesting must not grow quadratically.
TEST(RunsParse, CrossedClosesContinueABoundedNumberOfRuns) {
  const size_t bottom = 300, above = 300;
  std::string tagged;
  for (size_t i = 0; i < bottom; ++i) tagged += O("z", "1");
  for (size_t i = 0; i < above; ++i) tagged += O("a", "1");
  for (size_t i = 0; i < bottom; ++i) tagged += C("z") + "x";
  const Styled styled = Styled::parse(tagged);
  EXPECT_EQ(styled.text, std::string(bottom, 'x'));
  EXPECT_GT(styled.runs.size(), 2 * (bottom + above));
  EXPECT_LE(styled.runs.size(), tagged.size() / 4 + bottom + above);  // unbounded: ~ bottom*above
  EXPECT_TRUE(well_formed(styled));
}

// A long run of TAG characters that forms no meta must not be re-read from every position.
TEST(RunsParse, LongTagRunsStayLinear) {
  std::string run;
  for (int i = 0; i < 200000; ++i) run += i % 7 ? "\xF3\xA0\x80\xBC" : "\xF3\xA0\x81\xA1";
  for (const std::string& tagged : {run, run + "\xF3\xA0\x81\xBF", run + "x"}) {
    Styled styled = Styled::parse(tagged);
    EXPECT_EQ(styled.text, tagged);
    EXPECT_TRUE(styled.runs.empty());
  }
}

}  // namespace
}  // namespace glyphloom
