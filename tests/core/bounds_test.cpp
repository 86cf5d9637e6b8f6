// Bounded work on hostile input: inputs built to cost the most per byte finish quickly and yield
// results proportionate to their size. Each case would take minutes, or exhaust memory, if the
// bound it checks were lost; the time limits leave room for loaded machines.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "converter_test_image.hpp"
#include "glyphloom/glyphloom.hpp"
#include "glyphloom/writer.hpp"
#include "test_images.hpp"

namespace glyphloom {
namespace {

using testing::default_index;
using testing::make_index;
using testing::meta_tags;

// Unoptimised and sanitizer builds run smaller inputs with more time: there the point is memory
// safety, not speed.
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
constexpr bool kOptimised = true;
#else
constexpr bool kOptimised = false;
#endif
constexpr size_t kHuge = kOptimised ? 100'000'000 : 4'000'000;
constexpr double kLimit = kOptimised ? 1.0 : 20.0;

template <class F>
double seconds(F&& body) {
  const auto start = std::chrono::steady_clock::now();
  body();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
  EXPECT_LT(seconds([&] { converted = converter.convert(input, WarningMode::Lenient); }), kLimit);
  ASSERT_TRUE(std::holds_alternative<Converted>(converted));
  EXPECT_LE(std::get<Converted>(converted).text.size(), 2 * input.size());
  EXPECT_LT(seconds([&] { markup = converter.to_glyphloom(input); }), kLimit);
  EXPECT_TRUE(utf8::valid(markup));
  EXPECT_LT(seconds([&] { styled = converter.meta_runs(input); }), kLimit);
  EXPECT_LE(styled.text.size(), input.size());
  EXPECT_LT(seconds([&] { html = converter.html(styled); }), kLimit);
  EXPECT_GE(html.size(), styled.text.size());
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
  EXPECT_LT(seconds([&] { result = default_converter().convert(source, WarningMode::Lenient); }),
            kLimit);
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
  // Twelve words of distinct parts: 12! orderings if nothing bounded the search.
  const std::string words =
      "bold italic sans script fraktur double-struck monospace circled squared fullwidth "
      "superscript small-capital ";
  Result<Converted> result = Converted{};
  EXPECT_LT(seconds([&] {
              for (int i = 0; i < 20; ++i) {
                result = default_converter().convert("<:" + words + "a>", WarningMode::Warn);
              }
            }),
            kLimit);
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
  EXPECT_LT(seconds([&] {
              result = default_converter().convert("<:" + words + operand + ">", WarningMode::Warn);
            }),
            kLimit);
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
  EXPECT_LT(seconds([&] {
              result = converter.convert("<:" + words + operand.substr(0, 3 * characters) + ">",
                                         WarningMode::Warn);
            }),
            kLimit);
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
  EXPECT_LT(seconds([&] {
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
            kLimit);
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
  EXPECT_LT(seconds([&] { result = converter.convert(source, WarningMode::Lenient); }), kLimit);
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
  EXPECT_LT(seconds([&] { styled = default_converter().meta_runs(tagged); }), kLimit);
  EXPECT_EQ(styled.text, std::string(depth, 'x'));
  EXPECT_LE(styled.runs.size(), tagged.size() / 4 + depth);
  std::string html;
  EXPECT_LT(seconds([&] { html = default_converter().html(styled); }), kLimit);
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
