// Bounded work on hostile input: inputs built to cost the most per byte yield results, and make
// index searches, in proportion to their size. Work is counted, not timed, so that a loaded
// machine cannot fail them: the searches made and the records they compared (index/work.hpp, in
// builds with GLYPHLOOM_COUNT_WORK; elsewhere only the sizes are checked), and the sizes of what
// comes out. Each bound is linear where a lost guard makes the work grow as a square, or
// factorially, so it fails by orders of magnitude, not by a margin.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "converter_test_image.hpp"
#include "glyphloom/glyphloom.hpp"
#include "glyphloom/writer.hpp"
#include "index/work.hpp"
#include "test_images.hpp"

namespace glyphloom {
namespace {

using testing::default_index;
using testing::make_index;
using testing::meta_tags;

// Unoptimised and sanitizer builds run smaller inputs: there the point is memory safety.
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
constexpr bool kOptimised = true;
#else
constexpr bool kOptimised = false;
#endif
constexpr size_t kHuge = kOptimised ? 100'000'000 : 4'000'000;

#if defined(GLYPHLOOM_COUNT_WORK)
constexpr bool kCounted = true;
#else
constexpr bool kCounted = false;
#endif

// The index work `body` did on this thread.
template <class F>
detail::LookupWork work_of(F&& body) {
#if defined(GLYPHLOOM_COUNT_WORK)
  const detail::LookupWork before = detail::lookup_work;
  body();
  const detail::LookupWork& after = detail::lookup_work;
  return {after.searches - before.searches, after.candidates - before.candidates};
#else
  body();
  return {};
#endif
}

// The work `work` did: at most `max_searches` searches and `max_candidates` compared records.
#define EXPECT_WORK_LE(work, max_searches, max_candidates)                      \
  do {                                                                          \
    const detail::LookupWork w_ = (work);                                       \
    if (kCounted) {                                                             \
      EXPECT_LE(w_.searches, uint64_t{max_searches}) << "searches";             \
      EXPECT_LE(w_.candidates, uint64_t{max_candidates}) << "compared records"; \
    }                                                                           \
  } while (false)

// Says so, where the bounds below check sizes only.
TEST(Work, IsCountedInThisBuild) {
  if (!kCounted) GTEST_SKIP() << "index work is counted only with GLYPHLOOM_COUNT_WORK";
  EXPECT_GT(work_of([] { (void)default_index().get(Table::Names, "alpha"); }).searches, 0u);
}

const Glyphloom& default_converter() {
  static const Glyphloom converter(default_index());
  return converter;
}

std::string repeated(std::string_view piece, size_t bytes) {
  std::string out;
  out.reserve(bytes + piece.size());
  while (out.size() < bytes) out += piece;
  return out;
}

// The whole pipeline over one large input: every step within the limit. Plain text comes in
// the largest size; text that needs a lookup every few bytes comes a tenth as large.
struct HugeCase {
  const char* name;
  std::string piece;
  size_t bytes;
};

class HugeInput : public ::testing::TestWithParam<HugeCase> {};

TEST_P(HugeInput, EveryOperationStaysWithinTheLimit) {
  const Glyphloom& converter = default_converter();
  const std::string input = repeated(GetParam().piece, GetParam().bytes);
  Result<Converted> converted = Converted{};
  std::string markup;
  Styled styled;
  std::string html;
  const size_t n = input.size();
  // A search per byte at most, each comparing a record or two: the default index has few
  // colliding hashes.
  EXPECT_WORK_LE(work_of([&] { converted = converter.convert(input, WarningMode::Lenient); }), n,
                 2 * n);
  ASSERT_TRUE(std::holds_alternative<Converted>(converted));
  EXPECT_LE(std::get<Converted>(converted).text.size(), 2 * n);
  EXPECT_WORK_LE(work_of([&] { markup = converter.to_glyphloom(input); }), n, 2 * n);
  EXPECT_TRUE(utf8::valid(markup));
  EXPECT_LE(markup.size(), 64 * n);
  EXPECT_WORK_LE(work_of([&] { styled = converter.meta_runs(input); }), n, 2 * n);
  EXPECT_LE(styled.text.size(), n);
  EXPECT_LE(styled.runs.size(), n);
  EXPECT_WORK_LE(work_of([&] { html = converter.html(styled); }), n, 2 * n);
  EXPECT_GE(html.size(), styled.text.size());
  EXPECT_LE(html.size(), 64 * n);
}

INSTANTIATE_TEST_SUITE_P(Bounds, HugeInput,
                         ::testing::Values(HugeCase{"Ascii", "plain ascii text, line after line.\n",
                                                    kHuge},
                                           HugeCase{"Unclosed", "<:" + std::string(98, 'x'), kHuge},
                                           HugeCase{"Colons", "a:b <: \\: :: <:> ", kHuge / 10},
                                           HugeCase{"Multibyte", "ŋ日本語 ✓ ", kHuge / 10},
                                           HugeCase{"Metas",
                                                    meta_tags(MetaKind::Open, "lang", "ja") + "日" +
                                                        meta_tags(MetaKind::Close, "lang"),
                                                    kHuge / 10}),
                         [](const auto& info) { return info.param.name; });

// One tag as long as the input: each shape of tag content, converted in lenient mode.
struct LongTagCase {
  const char* name;
  const char* head;
  const char* piece;
};

class LongTag : public ::testing::TestWithParam<LongTagCase> {};

TEST_P(LongTag, ResolvesWithinTheLimit) {
  const size_t bytes = kOptimised ? 4'000'000 : 400'000;
  const std::string source =
      "<:" + std::string(GetParam().head) + repeated(GetParam().piece, bytes) + ">";
  Result<Converted> result = Converted{};
  const size_t n = source.size();
  EXPECT_WORK_LE(
      work_of([&] { result = default_converter().convert(source, WarningMode::Lenient); }), n,
      2 * n);
  ASSERT_TRUE(std::holds_alternative<Converted>(result));
  // Attached metas follow every character, so they may multiply the operands by their size.
  EXPECT_LE(std::get<Converted>(result).text.size(), 64 * source.size());
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, LongTag,
    ::testing::Values(LongTagCase{"OneWord", "", "abcdefgh"}, LongTagCase{"ManyWords", "", "word "},
                      LongTagCase{"DashedWords", "", "latin-small-"},
                      LongTagCase{"ManyModifiers", "", "bold "},
                      LongTagCase{"ManyMetas", "", "color red "},
                      LongTagCase{"ManyFonts", "", "font x "},
                      LongTagCase{"ModifierOverWords", "bold ", "a b c "},
                      LongTagCase{"ModifierOverNames", "greek ", "alpha "},
                      LongTagCase{"GroupOverNames", "above ", "sun "},
                      LongTagCase{"AttachedOverCharacters", "color red ", "!?"},
                      LongTagCase{"AttachedOverNames", "color red ", "gt "}),
    [](const auto& info) { return info.param.name; });

// Style words: every ordering of their parts is a candidate combined style, and every word is
// applied to every character.
TEST(ManyStyleWords, OrderingsOfTheirPartsAreSearchedABoundedNumberOfTimes) {
  // Under a hundred searches today; trying every ordering would take 12! = 479,001,600.
  // Twelve words of distinct parts: 12! orderings if nothing bounded the search.
  const std::string words =
      "bold italic sans script fraktur double-struck monospace circled squared fullwidth "
      "superscript small-capital ";
  Result<Converted> result = Converted{};
  EXPECT_WORK_LE(work_of([&] {
                   result = default_converter().convert("<:" + words + "a>", WarningMode::Warn);
                 }),
                 100'000, 100'000);
  EXPECT_TRUE(std::holds_alternative<Converted>(result));
}

TEST(ManyStyleWords, MoreThanATagTakesAreRefused) {
  std::string words;
  for (int i = 0; i < 33; ++i) words += "bold ";
  const auto result = default_converter().convert("<:" + words + "a>", WarningMode::Warn);
  ASSERT_TRUE(std::holds_alternative<Error>(result));
  EXPECT_TRUE(std::holds_alternative<UnknownEntity>(std::get<Error>(result)));
}

TEST(ManyStyleWords, OverALongOperandCostLinearWork) {
  std::string words;
  for (int i = 0; i < 31; ++i) words += "bold ";
  const size_t characters = kOptimised ? 50'000 : 4'000;
  std::string operand;
  for (size_t i = 0; i < characters; ++i) utf8::append(operand, 0x4E00 + i % 20000);
  Result<Converted> result = Converted{};
  EXPECT_WORK_LE(work_of([&] {
                   result =
                       default_converter().convert("<:" + words + operand + ">", WarningMode::Warn);
                 }),
                 128 * characters, 16 * characters);
  ASSERT_TRUE(std::holds_alternative<Converted>(result));
  // Each style that has no form of a character is a finding; they are not all kept.
  EXPECT_LE(std::get<Converted>(result).warnings.size(), 1001u);
}

// Images from callers: restyling links that form long chains and cycles, and keys made to
// collide in the hash.
TEST(CallerImage, RestylingChainsAndCyclesEndQuickly) {
  // Character i is spelled as the bold form of character i + 1; the last one closes the cycle.
  const size_t chain = 5000;
  TableRows names = {{"bold ", ""}}, spellings;
  std::string operand;
  for (size_t i = 0; i < chain; ++i) {
    std::string ch, next;
    utf8::append(ch, 0x4E00 + i);
    utf8::append(next, 0x4E00 + (i + 1) % chain);
    spellings.push_back({ch, "<:bold " + next + ">"});
    operand += ch;
  }
  const Glyphloom converter(make_index({names, spellings, {}, {}, {}}));
  std::string words;
  for (int i = 0; i < 31; ++i) words += "bold ";
  const size_t characters = kOptimised ? 2000 : 200;
  Result<Converted> result = Converted{};
  // Each of the 31 styles follows the chain a bounded way: walking it all would search 31 * 5000
  // times per character, and a cycle would never end.
  EXPECT_WORK_LE(work_of([&] {
                   result = converter.convert(
                       "<:" + words + operand.substr(0, 3 * characters) + ">", WarningMode::Warn);
                 }),
                 4096 * characters, 4096 * characters);
  ASSERT_TRUE(std::holds_alternative<Converted>(result));
  EXPECT_EQ(std::get<Converted>(result).text, operand.substr(0, 3 * characters));
}

// Keys over "Aa" and "BB" of one length all share one hash.
std::vector<std::string> colliding_keys(size_t pairs) {
  std::vector<std::string> keys{""};
  for (size_t i = 0; i < pairs; ++i) {
    std::vector<std::string> longer;
    for (const std::string& k : keys) {
      longer.push_back(k + "Aa");
      longer.push_back(k + "BB");
    }
    keys = std::move(longer);
  }
  return keys;
}

TEST(CallerImage, KeysThatShareOneHashAreFoundQuickly) {
  const std::vector<std::string> keys = colliding_keys(15);
  ASSERT_EQ(text_hash(keys.front()), text_hash(keys.back()));
  TableRows names;
  // Every other key, so that half the colliding keys are absent.
  for (size_t i = 0; i < keys.size(); i += 2) names.push_back({keys[i], std::to_string(i)});
  const Index index = make_index({names});
  const size_t lookups = kOptimised ? 20'000 : 2'000;
  size_t found = 0;
  // A lookup compares the first records of its hash, then bisects the rest by key: under a
  // hundred of the 16,384 records that share the hash, which a scan would read half of.
  EXPECT_WORK_LE(work_of([&] {
                   for (size_t i = 0; i < lookups; ++i) {
                     const size_t k = (i * 7919) % keys.size();
                     const auto text = index.get(Table::Names, keys[k]);
                     if (k % 2 == 0) {
                       ASSERT_EQ(text, std::to_string(k));
                       ++found;
                     } else {
                       ASSERT_FALSE(text);
                     }
                   }
                 }),
                 lookups, 128 * lookups);
  EXPECT_GT(found, 0u);
}

TEST(CallerImage, SourcesOfCollidingNamesConvertQuickly) {
  const std::vector<std::string> keys = colliding_keys(15);
  TableRows names;
  for (size_t i = 0; i < keys.size(); i += 2) names.push_back({keys[i], "x"});
  const Glyphloom converter(make_index({names}));
  const size_t references = kOptimised ? 20'000 : 2'000;
  std::string source, expected;
  for (size_t i = 0; i < references; ++i) {
    const size_t k = (i * 7919) % keys.size();
    // Short references and tags, present and absent, the absent ones kept in lenient mode.
    source += (i % 3 ? "\\:" : "<:") + keys[k] + (i % 3 ? " " : "> ");
  }
  Result<Converted> result = Converted{};
  EXPECT_WORK_LE(work_of([&] { result = converter.convert(source, WarningMode::Lenient); }),
                 2 * references, 128 * references);
  ASSERT_TRUE(std::holds_alternative<Converted>(result));
  EXPECT_GT(std::get<Converted>(result).warnings.size(), 0u);
}

TEST(CallerImage, EveryCandidateKeyIsCheckedWhateverItsLength) {
  // "Aa" and "BB" share a hash; the record of "BB" is made to claim a key of a million bytes
  // that are not UTF-8. A lookup that reaches it fails, even for a key it could not match.
  std::string image = write_image({{{"Aa", "1"}, {"BB", "2"}}});
  const size_t big = image.size();
  image.append(1'000'000, '\xFF');
  const size_t records = 8 + 8 * 5;
  const auto put_u32 = [&image](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) image[at + i] = static_cast<char>(v >> (8 * i));
  };
  put_u32(records + 20 + 4, static_cast<uint32_t>(big));
  put_u32(records + 20 + 8, 1'000'000);
  const Index index = testing::open_or_die(testing::keep(image));
  EXPECT_EQ(index.get(Table::Names, "Aa"), "1");
  EXPECT_THROW(index.get(Table::Names, "BB"), InternalError);
  EXPECT_FALSE(index.get(Table::Names, "Ab"));
}

// Crossed closes continue the runs above them; thousands of them stay linear.
TEST(CrossedMetas, ThousandsOfCrossedClosesStayLinear) {
  const size_t depth = kOptimised ? 20'000 : 3'000;
  std::string tagged;
  for (size_t i = 0; i < depth; ++i)
    tagged += meta_tags(MetaKind::Open, "k" + std::to_string(i), "v");
  // Closing in opening order crosses every run still open above.
  for (size_t i = 0; i < depth; ++i)
    tagged += meta_tags(MetaKind::Close, "k" + std::to_string(i)) + "x";
  Styled styled;
  EXPECT_WORK_LE(work_of([&] { styled = default_converter().meta_runs(tagged); }), 64 * depth,
                 64 * depth);
  EXPECT_EQ(styled.text, std::string(depth, 'x'));
  EXPECT_LE(styled.runs.size(), tagged.size() / 4 + depth);
  std::string html;
  EXPECT_WORK_LE(work_of([&] { html = default_converter().html(styled); }), 64 * depth, 64 * depth);
  size_t opened = 0, closed = 0;
  for (size_t at = 0; (at = html.find("<span", at)) != std::string::npos; ++at) ++opened;
  for (size_t at = 0; (at = html.find("</span>", at)) != std::string::npos; ++at) ++closed;
  EXPECT_EQ(opened, styled.runs.size());
  EXPECT_EQ(closed, styled.runs.size());
}

// What a conversion back to markup writes must convert again: a character followed by more
// effect characters, or more attached metas, than one tag may take keeps them all.
struct FoldCase {
  const char* name;
  std::string text;
};

class FoldWithinTagBounds : public ::testing::TestWithParam<FoldCase> {};

TEST_P(FoldWithinTagBounds, TextSurvivesMarkupAndBack) {
  const Glyphloom& converter = default_converter();
  const std::string& text = GetParam().text;
  const std::string markup = converter.to_glyphloom(text);
  const auto back = converter.convert(markup, WarningMode::Error);
  ASSERT_TRUE(std::holds_alternative<Converted>(back))
      << markup << ": " << error_text(std::get<Error>(back));
  EXPECT_EQ(std::get<Converted>(back).text, text);
}

std::string times(std::string_view piece, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += piece;
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, FoldWithinTagBounds,
    ::testing::Values(
        FoldCase{"ManyEffects", "a" + times("\xEF\xB8\x8F", 100)},
        FoldCase{"ManyEffectsAfterSpacedName", "\xC2\xB9" + times("\xEF\xB8\x8F", 40)},
        FoldCase{"ManyAttachedMetas",
                 "a" + times(meta_tags(MetaKind::Attached, "color", "red"), 60)},
        FoldCase{"LongAttachedMeta",
                 "a" + meta_tags(MetaKind::Attached, "color", std::string(300, 'r')) +
                     meta_tags(MetaKind::Attached, "size", "1")},
        FoldCase{"EffectsAndMetas", "a" + times("\xEF\xB8\x8F", 40) +
                                        times(meta_tags(MetaKind::Attached, "lang", "ja"), 40)}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace glyphloom
