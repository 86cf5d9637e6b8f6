#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "glyphloom/meta.hpp"
#include "test_text.hpp"

namespace glyphloom {
namespace {

using test_text::u8;

// A TAG sequence written out by hand: every byte of `payload` shifted, then CANCEL TAG.
std::string shifted(std::string_view payload, bool cancel = true) {
  std::string out;
  for (unsigned char c : payload) out += u8(0xE0000 + c);
  return cancel ? out + u8(0xE007F) : out;
}

struct Known {
  Meta meta;
  std::string payload;
  std::string markup;
};

class MetaKnownTest : public testing::TestWithParam<Known> {};

TEST_P(MetaKnownTest, EncodesDecodesAndWritesMarkup) {
  const Known& k = GetParam();
  const std::string tags = k.meta.tags();
  EXPECT_EQ(tags, shifted(k.payload));
  EXPECT_EQ(tags.size(), 4 * (k.payload.size() + 1));
  const auto sequence = tag_sequence_at(tags + "abc");
  ASSERT_TRUE(sequence);
  EXPECT_EQ(sequence->payload, k.payload);
  EXPECT_EQ(sequence->length, tags.size());
  const auto found = meta_at(tags + "abc");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->meta, k.meta);
  EXPECT_EQ(found->length, tags.size());
  EXPECT_EQ(k.meta.glyphloom(), k.markup);
  EXPECT_FALSE(emoji_tags_at(tags));
}

INSTANTIATE_TEST_SUITE_P(
    Meta, MetaKnownTest,
    testing::Values(Known{{MetaKind::Open, "font", "han-japanese"},
                          "<font han-japanese",
                          "<:font han-japanese>"},
                    Known{{MetaKind::Close, "font", ""}, "</font", "<:/font>"},
                    Known{{MetaKind::Attached, "color", "red"}, ":color red", "color red"}));

class MetaRejectTest : public testing::TestWithParam<std::string> {};

TEST_P(MetaRejectTest, GivesNoMeta) {
  EXPECT_FALSE(meta_at(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(
    Meta, MetaRejectTest,
    testing::Values("", "a", "\xF3", "\xF3\xA0\x80", u8(0xE0061) + "x", shifted("<font x", false),
                    shifted(""), shifted("<font"), shifted("<font "), shifted("<Font x"),
                    shifted("<font a b"), shifted("</"), shifted("</Font"), shifted("!font x"),
                    shifted("<font x").insert(4, u8(0xE0001)), shifted(std::string("<a \x1F", 4)),
                    shifted("<font a=b"), shifted("< x")));

TEST(MetaTags, EmojiTagSequencesAreNoMetas) {
  const std::string flag = u8(0x1F3F4) + shifted("gbeng");
  EXPECT_FALSE(meta_at(flag.substr(4)));
  EXPECT_EQ(emoji_tags_at(flag.substr(4)), 24u);
  EXPECT_FALSE(meta_at(flag));
  EXPECT_FALSE(emoji_tags_at(flag));
  EXPECT_EQ(emoji_tags_at(shifted("GB01")), 20u);
  EXPECT_FALSE(emoji_tags_at(shifted("gb-eng")));
}

TEST(MetaTags, CharactersBeyondAsciiAreShiftedOrLeftOut) {
  const std::string tags = Meta{MetaKind::Open, "k", "a" + u8(0x30000) + u8(0xE9)}.tags();
  EXPECT_EQ(tags, shifted("<k a", false) + u8(0xE00E9) + u8(0xE007F));
  EXPECT_FALSE(meta_at(tags));
  EXPECT_EQ(Meta({MetaKind::Open, "k", u8(0x10FFFF)}).tags(), shifted("<k "));
}

// Every meta with a valid key and value survives encoding and decoding.
TEST(MetaTags, RoundTripsGeneratedMetas) {
  std::mt19937 random(20240611);
  const std::string key_chars = "abcdefghijklmnopqrstuvwxyz0123456789-";
  const std::string value_chars =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789#.%+-_,()/";
  const auto pick = [&](const std::string& from, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += from[random() % from.size()];
    return out;
  };
  for (int i = 0; i < 3000; ++i) {
    const MetaKind kind = static_cast<MetaKind>(i % 3);
    const std::string key = pick(key_chars.substr(0, 26), 1) + pick(key_chars, random() % 12);
    const std::string value = kind == MetaKind::Close ? "" : pick(value_chars, 1 + random() % 20);
    const Meta meta{kind, key, value};
    ASSERT_TRUE(is_key(key) && (kind == MetaKind::Close || is_value(value)));
    const size_t payload = kind == MetaKind::Close ? 2 + key.size() : 2 + key.size() + value.size();
    const auto found = meta_at(meta.tags());
    ASSERT_TRUE(found) << meta.glyphloom();
    EXPECT_EQ(found->meta, meta);
    EXPECT_EQ(found->length, 4 * (payload + 1));
  }
}

TEST(MetaValidity, KeysAndValues) {
  for (const char* key : {"font", "color", "x-1", "a", "z9-"}) EXPECT_TRUE(is_key(key)) << key;
  for (const char* key : {"", "Font", "1x", "-x", "font family", "f_x", "f\xC3\xA9"}) {
    EXPECT_FALSE(is_key(key)) << key;
  }
  for (const char* value : {"han-japanese", "#ff0000", "rgb(1,2,3)", "1.5em", "50%", "a+b/c_D"}) {
    EXPECT_TRUE(is_value(value)) << value;
  }
  for (const char* value : {"", "a b", "a=b", "'x'", "\"x\"", "caf\xC3\xA9", "a;b"}) {
    EXPECT_FALSE(is_value(value)) << value;
  }
}

TEST(MetaCluster, FollowsTheContinuationRule) {
  // Each continuation range by its ends and the characters just outside them.
  const std::vector<std::pair<char32_t, bool>> current = {
      {'b', false},     {0x2FF, false},  {0x300, true},    {0x36F, true},    {0x370, false},
      {0x1AB0, true},   {0x1DFF, true},  {0x200C, false},  {0x200D, true},   {0x20FF, true},
      {0xFE0F, true},   {0xFE10, false}, {0xFE2F, true},   {0x1345F, true},  {0x13460, false},
      {0x1F3FA, false}, {0x1F3FB, true}, {0xE0000, true},  {0xE007F, true},  {0xE0080, false},
      {0xE0100, true},  {0xE01EF, true}, {0xE01F0, false}, {0x10FFFF, false}};
  for (const auto& [c, continues] : current) {
    EXPECT_EQ(continues_cluster('a', c), continues) << std::hex << static_cast<uint32_t>(c);
  }
  for (const auto& [joiner, joins] : std::vector<std::pair<char32_t, bool>>{
           {0x200D, true}, {0x13430, true}, {0x13436, true}, {0x13437, false}, {0x200C, false}}) {
    EXPECT_EQ(continues_cluster(joiner, 'b'), joins) << std::hex << static_cast<uint32_t>(joiner);
  }
}

TEST(MetaAttach, FollowsEveryCluster) {
  const std::string t = "<T>";
  EXPECT_EQ(attach("", t), t);
  EXPECT_EQ(attach("a", t), "a" + t);
  EXPECT_EQ(attach("ab", t), "a" + t + "b" + t);
  EXPECT_EQ(attach("e" + u8(0x301), t), "e" + u8(0x301) + t);
  const std::string family = u8(0x1F468) + u8(0x200D) + u8(0x1F469);
  EXPECT_EQ(attach(family, t), family + t);
  const std::string hieroglyphs = u8(0x13000) + u8(0x13430) + u8(0x13001) + "x";
  EXPECT_EQ(attach(hieroglyphs, t), hieroglyphs.substr(0, 12) + t + "x" + t);
  EXPECT_EQ(attach("\xFF\x80", t), "\xFF" + t + "\x80" + t);
}

}  // namespace
}  // namespace glyphloom
