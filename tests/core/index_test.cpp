#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "glyphloom/index.hpp"
#include "glyphloom/writer.hpp"
#include "test_images.hpp"

namespace glyphloom {
namespace {

using testing::default_index;
using testing::keep;
using testing::make_index;

void put_u32(std::string& image, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) image[at + i] = static_cast<char>(v >> (8 * i));
}

TEST(TextHash, HashesUtf8Bytes) {
  EXPECT_EQ(text_hash(""), 0u);
  EXPECT_EQ(text_hash("a"), 97u);
  EXPECT_EQ(text_hash("abc"), 96354u);
  EXPECT_EQ(text_hash("gt"), 3309u);
  EXPECT_EQ(text_hash("font"), 3148879u);
  EXPECT_EQ(text_hash("\xC3\x80"), 6173u);  // À: its bytes, not its code point
  EXPECT_EQ(text_hash("features"), 4004308029u);
}

TEST(IndexOpen, ChecksMagicAndTableCount) {
  const std::string magic_error = "not a glyphloom index (magic GLX1 missing)";
  const std::string count_error = "glyphloom index has too few tables";
  auto error_of = [](std::string bytes) {
    auto opened = Index::open(keep(std::move(bytes)));
    return opened.index() == 1 ? std::get<std::string>(opened) : std::string();
  };
  EXPECT_EQ(error_of(""), magic_error);
  EXPECT_EQ(error_of(std::string("GLX1\x05\0\0", 7)), magic_error);
  EXPECT_EQ(error_of(std::string("GLY1\x05\0\0\0", 8)), magic_error);
  EXPECT_EQ(error_of(std::string("GLX1\x04\0\0\0", 8)), count_error);
  EXPECT_EQ(error_of(std::string("GLX1\x05\0\0\0", 8)), "");
  EXPECT_EQ(error_of(std::string("GLX1\x06\0\0\0", 8)), "");
}

TEST(IndexOpen, AcceptedHeaderWithoutDirectoryFailsAtLookup) {
  Index index = testing::open_or_die(keep(std::string("GLX1\x05\0\0\0", 8)));
  EXPECT_THROW(index.len(Table::Names), InternalError);
  EXPECT_THROW(index.entry(Table::Names, "x"), InternalError);
}

TEST(Writer, CanonicalLayout) {
  TableRows names = {{"b", "2"}, {"a", "1"}, {"c", ""}, {"a", "ignored"}};
  std::string image = write_image({names, {{"x", "1"}}});
  // Header, five directory entries, four records, then the pool: a 1 b 2 c "" x (1 reused).
  ASSERT_EQ(image.substr(0, 4), "GLX1");
  const size_t records_start = 8 + 8 * 5;
  EXPECT_EQ(image.size(), records_start + 20 * 4 + std::string("a1b2cx").size());
  EXPECT_EQ(image.substr(records_start + 80), "a1b2cx");
  Index index = testing::open_or_die(keep(image));
  EXPECT_EQ(index.len(Table::Names), 3u);
  EXPECT_EQ(index.get(Table::Names, "a"), "1");  // the first row of a repeated key wins
  EXPECT_EQ(index.get(Table::Names, "c"), "");   // present, empty
  EXPECT_EQ(index.get(Table::Spellings, "x"), "1");
  EXPECT_EQ(index.len(Table::Templates), 0u);
  std::vector<std::string> order;
  for (const Entry& e : index.entries(Table::Names)) order.emplace_back(e.key);
  EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c"}));
}

TEST(Writer, SixthTableIsNeverConsulted) {
  std::vector<TableRows> tables(6);
  tables[5] = {{"k", "v"}};
  Index index = make_index(tables);
  for (uint32_t t = 0; t < kTableCount; ++t) EXPECT_FALSE(index.entry(Table(t), "k"));
}

TEST(Whole, EqualHashesResolveByKey) {
  // "Aa" and "BB" share a hash: both must be found by their own bytes.
  ASSERT_EQ(text_hash("Aa"), text_hash("BB"));
  Index index = make_index({{{"Aa", "first"}, {"BB", "second"}, {"C#", "third"}}});
  EXPECT_EQ(index.get(Table::Names, "Aa"), "first");
  EXPECT_EQ(index.get(Table::Names, "BB"), "second");
  EXPECT_FALSE(index.get(Table::Names, "Ab"));
  EXPECT_FALSE(index.get(Table::Names, ""));
}

TEST(Whole, EmptyKeyFoundOnlyWhenPresent) {
  Index index = make_index({{{"", "empty key"}}});
  EXPECT_EQ(index.get(Table::Names, ""), "empty key");
}

struct Corruption {
  const char* name;
  void (*apply)(std::string& image);
  const char* message_prefix;
};

class MalformedImage : public ::testing::TestWithParam<Corruption> {};

TEST_P(MalformedImage, LookupThrowsInternalError) {
  std::string image = write_image({{{"key", "text"}, {"other", "x"}}});
  GetParam().apply(image);
  Index index = testing::open_or_die(keep(image));
  try {
    for (const char* key : {"key", "other"}) index.get(Table::Names, key);
    for (const Entry& e : index.entries(Table::Names)) (void)e;
    FAIL() << "no internal error";
  } catch (const InternalError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(GetParam().message_prefix, 0), 0u) << e.what();
  }
}

const size_t kRecords = 8 + 8 * 5;
INSTANTIATE_TEST_SUITE_P(
    Faults, MalformedImage,
    ::testing::Values(
        Corruption{"TableOffsetOutside", [](std::string& i) { put_u32(i, 8, 0xFFFFFFF0u); },
                   "index read outside the image"},
        Corruption{"RecordCountTooLarge", [](std::string& i) { put_u32(i, 12, 0x10000000u); },
                   "index read outside the image"},
        Corruption{"KeyLengthWraps",
                   [](std::string& i) {
                     for (size_t r = 0; r < 2; ++r) put_u32(i, kRecords + 20 * r + 8, 0xFFFFFFFFu);
                   },
                   "index read outside the image"},
        Corruption{"TextOffsetOutside",
                   [](std::string& i) {
                     for (size_t r = 0; r < 2; ++r) {
                       put_u32(i, kRecords + 20 * r + 12, static_cast<uint32_t>(i.size()));
                     }
                   },
                   "index read outside the image"},
        Corruption{"KeyNotUtf8",
                   [](std::string& i) {
                     i[i.find("key")] = '\xFF';
                     i[i.find("other")] = '\xC3';
                   },
                   "index texts are UTF-8"},
        Corruption{"TextNotUtf8",
                   [](std::string& i) {
                     i[i.find("text")] = '\x80';
                     i[i.rfind('x')] = '\xE2';
                   },
                   "index texts are UTF-8"}),
    [](const auto& info) { return info.param.name; });

TEST(DefaultImage, DocumentedEntries) {
  Index index = default_index();
  auto gt = index.entry(Table::Names, "gt");
  ASSERT_TRUE(gt);
  EXPECT_EQ(*gt, (Entry{"gt", ">"}));
  EXPECT_EQ(index.get(Table::Names, "red "), "");
  EXPECT_EQ(index.get(Table::Fonts, "han-japanese lang"), "ja");
  EXPECT_EQ(index.get(Table::Spellings, "\xC5\x8B"), "<:eng>");
  // U+00A0 and Á share hash 6174 and keep their own records.
  ASSERT_EQ(text_hash("\xC2\xA0"), text_hash("\xC3\x81"));
  EXPECT_EQ(index.get(Table::Spellings, "\xC2\xA0"), "<:no-break-space>");
  EXPECT_EQ(index.get(Table::Spellings, "\xC3\x81"), "<:latin-capital-letter-a-with-acute>");
  EXPECT_EQ(index.len(Table::Templates), 9u);
  std::vector<Entry> templates;
  for (const Entry& e : index.entries(Table::Templates)) templates.push_back(e);
  ASSERT_EQ(templates.size(), 9u);
  EXPECT_EQ(templates.front(), (Entry{"font", "font-family: {}"}));
  EXPECT_EQ(templates.back(), (Entry{"features", "font-feature-settings: '{}'"}));
}

TEST(DefaultImage, EveryEntryIsFoundByItsKey) {
  Index index = default_index();
  for (uint32_t t = 0; t < kTableCount; ++t) {
    size_t n = 0;
    uint32_t previous = 0;
    for (const Entry& e : index.entries(Table(t))) {
      uint32_t h = text_hash(e.key);
      ASSERT_LE(previous, h);
      previous = h;
      auto found = index.entry(Table(t), e.key);
      ASSERT_TRUE(found) << e.key;
      ASSERT_EQ(found->text.data(), e.text.data());
      ++n;
    }
    EXPECT_EQ(n, index.len(Table(t)));
  }
}

TEST(Entries, OutliveTheIndexTheyCameFrom) {
  size_t n = 0;
  for (const Entry& e : default_index().entries(Table::Templates)) n += !e.key.empty();
  EXPECT_EQ(n, 9u);
}

TEST(TableText, EscapesRoundTrip) {
  TableRows rows = {{"tab\tkey", "line\nbreak\r"}, {"back\\slash", ""}, {"\xE2\x80\xA8", "x"}};
  EXPECT_EQ(parse_table_text(format_table_text(rows)), rows);
  EXPECT_EQ(parse_table_text("a\\u{1F90D}\t\\u{41}\n"), (TableRows{{"a\xF0\x9F\xA4\x8D", "A"}}));
}

TEST(TableText, RejectsMalformedRows) {
  for (const char* bad : {"no tab\n", "a\\q\tb\n", "a\t\\u{110000}\n", "a\t\\u{D800}\n",
                          "a\t\\u{}\n", "a\t\\u{12\n", "a\tb\\\n", "a\tb\r\n"}) {
    EXPECT_THROW(parse_table_text(bad), std::runtime_error) << bad;
  }
}

}  // namespace
}  // namespace glyphloom

namespace glyphloom {
namespace {

// The default image's large tables are searched through hash slots; a copy of it elsewhere in
// memory is bisected whole. Both must answer every key, and every near miss, alike.
TEST(DefaultImage, SlottedLookupsAnswerAsTheWholeTable) {
  const Index fast = default_index();
  const std::string copy(default_image());
  const Index plain = testing::open_or_die(copy);
  for (const Table table : {Table::Names, Table::Spellings, Table::Fonts}) {
    size_t checked = 0;
    for (const Entry& e : plain.entries(table)) {
      for (const std::string& key : {std::string(e.key), std::string(e.key) + "~"}) {
        const auto a = fast.entry(table, key), b = plain.entry(table, key);
        ASSERT_EQ(a.has_value(), b.has_value()) << key;
        if (a) {
          ASSERT_EQ(a->key, b->key);
          ASSERT_EQ(a->text, b->text);
        }
      }
      ++checked;
    }
    EXPECT_EQ(checked, plain.len(table));
  }
}

}  // namespace
}  // namespace glyphloom
