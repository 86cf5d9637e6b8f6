// The fast paths give what the plain definitions give: the word-wise text hash, the batched and
// branch-free searches (on sorted tables and on tables that are not sorted), and the driver's
// look-ahead over references and tags wherever they stand in the source.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "glyphloom/glyphloom.hpp"
#include "index/search.hpp"
#include "test_images.hpp"

namespace glyphloom {
namespace {

uint32_t plain_hash(std::string_view text) {
  uint32_t h = 0;
  for (unsigned char b : text) h = h * 31u + b;
  return h;
}

// The bisection exactly as lookups specify it, read through `hash_at`.
template <class HashAt>
size_t plain_lower_bound(size_t n, uint32_t h, HashAt hash_at) {
  size_t lo = 0, hi = n;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (hash_at(mid) < h) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

uint32_t record_hash(const detail::TableView& table, size_t i) {
  uint32_t h;
  std::memcpy(&h, table.records + 20 * i, 4);
  return h;
}

TEST(FastPaths, TextHashOfEveryLengthAndByte) {
  std::mt19937 random(7);
  // Views into the middle of a buffer, so that reads past either end would be out of the text.
  std::string buffer(200, '\0');
  for (size_t length = 0; length <= 70; ++length) {
    for (int round = 0; round < 40; ++round) {
      for (char& c : buffer) c = static_cast<char>(random());
      const std::string_view text(buffer.data() + 50, length);
      ASSERT_EQ(text_hash(text), plain_hash(text)) << length;
    }
  }
  EXPECT_EQ(text_hash("gt"), 3309u);
  EXPECT_EQ(text_hash("features"), 4004308029u);
  EXPECT_EQ(text_hash("\xC3\x80"), 6173u);
}

// Every hash that matters for a table: each record's, one below and one above it, and the ends.
std::vector<uint32_t> probes(const detail::TableView& table) {
  std::vector<uint32_t> out = {0, 1, 0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu};
  for (size_t i = 0; i < table.count; i += 1 + table.count / 500) {
    const uint32_t h = record_hash(table, i);
    out.insert(out.end(), {h, h - 1, h + 1});
  }
  return out;
}

void expect_searches_agree(const detail::TableView& table) {
  ASSERT_NE(table.records, nullptr);
  const auto hashes = probes(table);
  const auto hash_at = [&](size_t i) { return record_hash(table, i); };
  for (size_t batch = 1; batch <= detail::kMaxBatch; batch += 5) {
    for (size_t first = 0; first + batch <= hashes.size(); first += batch) {
      size_t bounds[detail::kMaxBatch];
      detail::lower_bounds(table, hashes.data() + first, bounds, batch);
      for (size_t k = 0; k < batch; ++k) {
        const uint32_t h = hashes[first + k];
        size_t expected = plain_lower_bound(table.count, h, hash_at);
        // A table with hash slots gives its record count for a hash that no record has.
        if (table.slots.slots && (expected == table.count || hash_at(expected) != h)) {
          expected = table.count;
        }
        ASSERT_EQ(detail::lower_bound(table, h), expected);
        ASSERT_EQ(bounds[k], expected) << "batch of " << batch;
      }
    }
  }
}

TEST(FastPaths, SearchesOfTheDefaultImage) {
  // Its large tables are searched through hash slots, the others by bisection.
  EXPECT_NE(detail::table_view(default_image(), Table::Names).slots.slots, nullptr);
  for (uint32_t t = 0; t < kTableCount; ++t) {
    expect_searches_agree(detail::table_view(default_image(), Table(t)));
  }
}

TEST(FastPaths, SearchesOfTablesOfEverySize) {
  for (size_t n = 1; n <= 70; ++n) {
    TableRows rows;
    for (size_t i = 0; i < n; ++i) rows.emplace_back("key" + std::to_string(i * 7919), "x");
    const std::string_view image = testing::keep(write_image({rows}));
    expect_searches_agree(detail::table_view(image, Table::Names));
  }
}

// A table whose hashes are not in order is malformed, but every search still takes the
// specified midpoints, so all of them find the same record.
TEST(FastPaths, SearchesOfAnUnsortedTable) {
  TableRows rows;
  for (size_t i = 0; i < 300; ++i) rows.emplace_back("k" + std::to_string(i), "x");
  std::string image = write_image({rows});
  const detail::TableView sorted = detail::table_view(image, Table::Names);
  const size_t first =
      static_cast<size_t>(sorted.records - reinterpret_cast<const unsigned char*>(image.data()));
  std::mt19937 random(3);
  for (size_t i = 0; i < sorted.count; ++i) {
    const uint32_t h = static_cast<uint32_t>(random());
    std::memcpy(image.data() + first + 20 * i, &h, 4);
  }
  expect_searches_agree(detail::table_view(image, Table::Names));
}

Result<Converted> converted(const Glyphloom& g, const std::string& source) {
  // An exact-size copy, so that reading past the source's end would be out of bounds (ASan).
  std::unique_ptr<char[]> copy(new char[source.size()]);
  std::memcpy(copy.get(), source.data(), source.size());
  return g.convert(std::string_view(copy.get(), source.size()), WarningMode::Lenient);
}

// The look-ahead reads names and tags sixteen bytes at a time where it can and byte by byte near
// the end of the source: references and tags at every distance from the end convert alike.
TEST(FastPaths, ReferencesAndTagsAnywhereInTheSource) {
  const Glyphloom g(testing::default_index());
  const std::vector<std::pair<std::string, std::string>> items = {
      {"\\:alpha", "\xCE\xB1"},
      {"\\:eng", "\xC5\x8B"},
      {"\\:gt", ">"},
      {"\\:CounterClockwiseContourIntegral", "\xE2\x88\xB3"},
      {"<:heavy-black-heart>", "\xE2\x9D\xA4"},
      {"<:latin small letter eng>", "\xC5\x8B"},
      {"<:smiling-face-with-sunglasses>", "\xF0\x9F\x98\x8E"},
      {"\\:nosuchname", "\\:nosuchname"},
      {"<:nosuchname>", "<:nosuchname>"},
  };
  for (const auto& [markup, text] : items) {
    for (size_t pad = 0; pad < 40; ++pad) {
      const std::string tail(pad, ' ');
      for (const std::string& lead : {std::string(), std::string("word "), std::string(17, 'y')}) {
        const auto result = converted(g, lead + markup + tail);
        ASSERT_TRUE(std::holds_alternative<Converted>(result)) << markup << " " << pad;
        EXPECT_EQ(std::get<Converted>(result).text, lead + text + tail) << markup << " " << pad;
      }
    }
  }
}

// Many references and tags in a row, more than one batch holds, mixed with every other kind of
// item, convert as each does alone; so do the short runs that start them, whose text outgrows
// the room a short conversion starts with at every kind of item.
TEST(FastPaths, LongRunsConvertAsTheirParts) {
  const Glyphloom g(testing::default_index());
  const std::vector<std::string> parts = {"\\:alpha ",
                                          "<:grinning-face> ",
                                          "<:bold a> ",
                                          "<:red heavy-black-heart> ",
                                          "<:greek>b<:> ",
                                          "<:font han-japanese>x<:/font> ",
                                          "\\:nosuch ",
                                          "<:nosuch> ",
                                          "<:a> ",
                                          "<:> ",
                                          "</x> ",
                                          "\\:gt\\:lt ",
                                          "<:above \xE6\x97\xA5 \xE6\x9C\x88> ",
                                          "plain words "};
  std::string whole, expected;
  std::mt19937 random(11);
  for (int i = 0; i < 400; ++i) {
    const std::string& part = parts[random() % parts.size()];
    whole += part;
    const auto alone = converted(g, part);
    ASSERT_TRUE(std::holds_alternative<Converted>(alone));
    expected += std::get<Converted>(alone).text;
    if (i < 80) {
      const auto start = converted(g, whole);
      ASSERT_TRUE(std::holds_alternative<Converted>(start));
      ASSERT_EQ(std::get<Converted>(start).text, expected) << i;
    }
  }
  const auto result = converted(g, whole);
  ASSERT_TRUE(std::holds_alternative<Converted>(result));
  EXPECT_EQ(std::get<Converted>(result).text, expected);
}

}  // namespace
}  // namespace glyphloom
