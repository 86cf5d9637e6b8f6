#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <variant>
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
using test_text::u8;

// The TAG character for `c`, and its spelling in the image below.
std::string tag(char32_t c) {
  return u8(0xE0000 + c);
}
std::string T(char32_t c) {
  char name[16];
  std::snprintf(name, sizeof name, "<:tag-%02X>", static_cast<unsigned>(c));
  return name;
}
// The TAG characters of `payload`, as they stand in text.
std::string R(std::string_view payload) {
  std::string out;
  for (char c : payload) out += tag(static_cast<unsigned char>(c));
  return out;
}
std::string T(std::string_view payload) {
  std::string out;
  for (char c : payload) out += T(static_cast<unsigned char>(c));
  return out;
}

const Glyphloom& converter() {
  static const Glyphloom instance = [] {
    TableRows spellings = {
        {u8(0x2764), "<:heavy-black-heart>"},
        {u8(0x00B9), "<:upper 1>"},
        {u8(0xFE0F), "<:variation-selector-16>"},
        {u8(0x00A0), "<:no-break-space>"},
        {u8(0x014B), "<:eng>"},
        {u8(0x1F3F4), "<:black-flag>"},
    };
    for (char32_t c = 0x20; c <= 0x7F; ++c) spellings.push_back({tag(c), T(c)});
    TableRows effects = {
        {u8(0xFE0F), "iconic"}, {u8(0xFE0E), "plain"}, {tag('r'), "red"}, {tag('b'), "blue"}};
    TableRows templates = {{"font", "font-family: {}"},
                           {"color", "color: {}"},
                           {"size", "font-size: {}"},
                           {"lang", ""}};
    // The names that the markup written here reads back through, so that it converts back.
    TableRows names = {{"upper ", ""},  {"upper 1", u8(0x00B9)},
                       {"iconic ", ""}, {"iconic *suffix", u8(0xFE0F)},
                       {"plain ", ""},  {"plain *suffix", u8(0xFE0E)},
                       {"red ", ""},    {"red *suffix", tag('r')},
                       {"blue ", ""},   {"blue *suffix", tag('b')}};
    for (const auto& [character, spelling] : spellings) {
      const std::string name = spelling.substr(2, spelling.size() - 3);
      if (name.find(' ') == std::string::npos) names.push_back({name, character});
    }
    return Glyphloom(testing::make_index({names, spellings, effects, {}, templates}));
  }();
  return instance;
}

struct Case {
  std::string name;
  std::string text;
  std::string markup;
};

class ToGlyphloom : public ::testing::TestWithParam<Case> {};

TEST_P(ToGlyphloom, WritesMarkup) {
  EXPECT_EQ(converter().to_glyphloom(GetParam().text), GetParam().markup);
}

std::string case_name(const ::testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

const std::string kHeart = u8(0x2764);
const std::string kVs16 = u8(0xFE0F);
const std::string kFlagTags = tag('g') + tag('b') + tag('e') + tag('n') + tag('g') + tag(0x7F);

INSTANTIATE_TEST_SUITE_P(
    ToGlyphloomPlain, ToGlyphloom,
    ::testing::Values(
        Case{"Empty", "", ""},
        Case{"Ascii", "Hello, world! 1 > 0\n\ttabbed", "Hello, world! 1 > 0\n\ttabbed"},
        Case{"SpelledSpaces", u8(0xA0) + " " + u8(0xA0), "<:no-break-space> <:no-break-space>"},
        Case{"Unspelled", "漢字", "漢字"},
        Case{"Spelled", u8(0x014B) + "a" + u8(0x00B9), "<:eng>a<:upper 1>"},
        Case{"ByteThatIsNoUtf8Kept",
             "a\xFF"
             "b\xE6\xBC",
             "a\xFF"
             "b\xE6\xBC"},
        Case{"ByteThatIsNoUtf8InATag", "\xFF" + kVs16, "<:iconic \xFF>"}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    ToGlyphloomColonEscapes, ToGlyphloom,
    ::testing::Values(Case{"TagOpener", "a<:b", "a<<::>b"}, Case{"ShortReference", "\\:", "\\<::>"},
                      Case{"LessThanAlone", "a < b <", "a < b <"},
                      Case{"BackslashAlone", "\\x\\", "\\x\\"},
                      Case{"Repeated", "<<:\\\\:", "<<<::>\\\\<::>"},
                      Case{"ColonAfterAnEffect", "<" + kVs16 + ":", "<:iconic <>:"}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    ToGlyphloomEffects, ToGlyphloom,
    ::testing::Values(
        Case{"One", kHeart + kVs16, "<:iconic heavy-black-heart>"},
        Case{"None", kHeart, "<:heavy-black-heart>"},
        Case{"OnAsciiLetter", "a" + kVs16, "<:iconic a>"},
        Case{"OnUnspelled", "漢" + kVs16, "<:iconic 漢>"},
        Case{"WithoutBase", kVs16 + "a", "<:variation-selector-16>a"},
        Case{"FirstFoundWrittenLast", kHeart + tag('r') + tag('b'),
             "<:blue red heavy-black-heart>"},
        Case{"ThreeRotated", "x" + tag('r') + tag('b') + kVs16, "<:blue iconic red x>"},
        Case{"OnSpelledWithModifier", u8(0xB9) + u8(0xFE0E), "<:plain upper 1>"},
        Case{"EmojiTagsKeptWhole", u8(0x1F3F4) + kFlagTags, "<:black-flag>" + kFlagTags},
        Case{"EmojiTagsLettersAreNoEffects", "a" + tag('r') + tag('b') + tag(0x7F),
             "a" + tag('r') + tag('b') + tag(0x7F)},
        Case{"UnclosedTagLettersAreEffects", "a" + tag('r') + tag('b'), "<:blue red a>"}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    ToGlyphloomMetas, ToGlyphloom,
    ::testing::Values(
        Case{"OpenAndClose", O("font", "han-japanese") + "漢字" + C("font"),
             "<:font han-japanese>漢字<:/font>"},
        Case{"AttachedToLetter", "a" + A("color", "red") + "b", "<:color red a>b"},
        Case{"AttachedToSpelledWithModifier", u8(0xB9) + A("color", "red"), "<:color red upper 1>"},
        Case{"AttachedBeforeEffects", kHeart + kVs16 + A("color", "red"),
             "<:color red iconic heavy-black-heart>"},
        Case{"TwoAttached", "a" + A("color", "red") + A("size", "2em"), "<:color red size 2em a>"},
        // After the space the value and CANCEL TAG read as an emoji tag sequence: kept as they are.
        Case{"AttachedAtStart", A("size", "2em") + "b", T(":size ") + R("2em\x7F") + "b"},
        Case{"AttachedAfterOpen", O("size", "2em") + A("size", "2em"),
             "<:size 2em>" + T(":size ") + R("2em\x7F")},
        Case{"AttachedAfterEmojiTags", u8(0x1F3F4) + kFlagTags + A("size", "2em"),
             "<:black-flag>" + kFlagTags + T(":size ") + R("2em\x7F")},
        Case{"UnknownKeySpelled", "x" + O("zz", "1.") + "y", "x" + T("<zz 1.\x7F") + "y"},
        Case{"UnknownKeyLettersAreEffects", O("rb", "1."), "<:blue red tag-3C>" + T(" 1.\x7F")},
        Case{"UnknownCloseSpelled", C("zz"), T("</") + R("zz\x7F")},
        Case{"UnknownAttachedNotFolded", "a" + A("zz", "1"), "a" + T(":zz ") + R("1\x7F")},
        Case{"KnownAttachedFoldsIntoStrayCancel", "a" + A("zz", "1.") + A("size", "2em"),
             "a" + T(":zz 1.") + "<:size 2em tag-7F>"},
        Case{"MetaAfterStrayTags", tag('<') + O("font", "x"), T('<') + "<:font x>"},
        Case{"StrayCancelTag", tag(0x7F) + "a", T(0x7F) + "a"}),
    case_name);

// A tag cannot hold ">" or white space, so those are written alone and what follows them is
// written character by character; reading the markup back gives the same text.
INSTANTIATE_TEST_SUITE_P(
    ToGlyphloomNoTagFor, ToGlyphloom,
    ::testing::Values(
        Case{"GreaterThanWithEffect", ">" + kVs16, "><:variation-selector-16>"},
        Case{"SpaceWithEffect", " " + kVs16, " <:variation-selector-16>"},
        Case{"TabWithAttachedMeta", "\t" + A("size", "2em"), "\t" + T(":size ") + R("2em\x7F")},
        Case{"UnspelledWideSpace", u8(0x3000) + kVs16, u8(0x3000) + "<:variation-selector-16>"},
        Case{"SpelledSpaceIsNamed", u8(0xA0) + kVs16, "<:iconic no-break-space>"}),
    case_name);

// The last ASCII character before an effect goes through the full steps wherever the bulk copy
// stops.
TEST(ToGlyphloomBulk, LastAsciiCharacterTakesTheEffect) {
  const std::string letters = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (size_t n = 1; n <= letters.size(); ++n) {
    const std::string text = letters.substr(0, n) + kVs16 + letters;
    const std::string want =
        letters.substr(0, n - 1) + "<:iconic " + letters.substr(n - 1, 1) + ">" + letters;
    EXPECT_EQ(converter().to_glyphloom(text), want) << n;
    EXPECT_EQ(converter().to_glyphloom(letters.substr(0, n) + "<:"), letters.substr(0, n) + "<<::>")
        << n;
  }
}

// Long runs of TAG characters that form no meta are written one character at a time; each
// position must not rescan the run.
TEST(ToGlyphloomBulk, LongTagRunsStayLinear) {
  const size_t n = 100000;
  std::string less_thans;
  for (size_t i = 0; i < n; ++i) less_thans += tag('<');
  const std::string text = less_thans + O("font", "x");
  std::string want;
  for (size_t i = 0; i < n; ++i) want += T('<');
  EXPECT_EQ(converter().to_glyphloom(text), want + "<:font x>");

  std::string letters;
  for (size_t i = 0; i < n; ++i) letters += tag('z');
  const std::string text2 = "a" + letters + tag('!') + tag(0x7F);
  std::string want2 = "a";
  for (size_t i = 0; i < n; ++i) want2 += T('z');
  EXPECT_EQ(converter().to_glyphloom(text2), want2 + T('!') + T(0x7F));
}

// Markup written from text converts back to the same text with the default image.
class ToGlyphloomRoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(ToGlyphloomRoundTrip, ConvertsBack) {
  const Glyphloom converter(testing::default_index());
  const std::string markup = converter.to_glyphloom(GetParam());
  const auto converted = converter.convert(markup, WarningMode::Warn);
  ASSERT_TRUE(std::holds_alternative<Converted>(converted)) << markup;
  EXPECT_EQ(std::get<Converted>(converted).text, GetParam()) << markup;
  EXPECT_TRUE(std::get<Converted>(converted).warnings.empty()) << markup;
}

INSTANTIATE_TEST_SUITE_P(
    ToGlyphloomTexts, ToGlyphloomRoundTrip,
    ::testing::Values("plain a<:b \\:c", kHeart + kVs16, kHeart + tag('r') + tag('b'),
                      O("font", "han-japanese") + "漢字" + C("font"),
                      "a" + A("color", "red") + kHeart + kVs16 + A("color", "red"),
                      u8(0x1F3F4) + kFlagTags, A("color", "red") + "x", O("zz", "1") + "x",
                      ">" + kVs16, " " + kVs16 + "\n" + A("color", "red"),
                      "<" + kVs16 + ":" + u8(0xA0) + u8(0x3000),
                      // Effects whose suffix differs in the base's script, words that join into
                      // another name, and effects after a spelling with a space.
                      "a" + u8(0x13440), "中" + tag('r'), "中" + tag('F'), u8(0x22B8) + tag('L'),
                      u8(0x1D400) + tag('r') + tag('M'), u8(0x14000) + tag('r') + u8(0x13440),
                      "中" + A("color", "red") + tag('r')));

// Every scalar value, alone, doubled and between two letters, converts back without a warning,
// so also in mode "error". Sanitizer and debug builds take every 17th, for time.
TEST(ToGlyphloomRoundTrip, EveryScalarValue) {
  const Glyphloom converter(testing::default_index());
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
  constexpr char32_t kStride = 1;
#else
  constexpr char32_t kStride = 17;
#endif
  size_t failures = 0;
  for (char32_t cp = 0; cp <= 0x10FFFF; cp += kStride) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const std::string c = u8(cp);
    for (const std::string& text : {c, c + c, "a" + c + "b"}) {
      const std::string markup = converter.to_glyphloom(text);
      const auto converted = converter.convert(markup, WarningMode::Error);
      const auto* ok = std::get_if<Converted>(&converted);
      if (ok && ok->text == text) continue;
      if (++failures <= 10) ADD_FAILURE() << "U+" << std::hex << uint32_t{cp} << ": " << markup;
    }
  }
  EXPECT_EQ(failures, 0u);
}

}  // namespace
}  // namespace glyphloom
