#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <latch>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "glyphloom/chunk_writer.hpp"
#include "glyphloom/chunked.hpp"
#include "glyphloom/index.hpp"
#include "glyphloom/writer.hpp"
#include "index/chunked_lookup.hpp"
#include "test_images.hpp"

namespace glyphloom {

void PrintTo(const ChunkOptions& o, std::ostream* os) {
  *os << "chunk size " << o.chunk_size << ", base table limit " << o.base_table_limit
      << ", filter bits " << o.bloom_bits_per_key;
}

namespace {

using Missing = std::vector<size_t>;

// Parameter cases carry a name, shown by gtest in place of their bytes.
template <class Case>
requires requires(const Case& c) {
  c.name;
}
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}
const auto kByName = [](const auto& info) { return std::string(info.param.name); };

void put_u32(std::string& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>(v >> (8 * i));
}
std::string u32s(std::initializer_list<uint32_t> words) {
  std::string out(4 * words.size(), '\0');
  size_t at = 0;
  for (uint32_t w : words) put_u32(out, (at++) * 4, w);
  return out;
}

// A header laid out field by field, its first eight bytes foreign (lookups must not read them).
struct HeaderFields {
  uint32_t tables = 5;
  uint32_t base = 0xFFFFFFFF;
  std::vector<std::array<uint32_t, 3>> directory;  // first, bounds, entries; the rest zero
  std::vector<ChunkOrder> bounds;
  uint32_t bloom_bits = 0, probes = 0;
  std::string bloom;
};
std::string lay_out(const HeaderFields& h) {
  std::string out = "FOREIGN!" + u32s({h.tables, h.base});
  for (uint32_t t = 0; t < h.tables; ++t) {
    out += t < h.directory.size() ? u32s({h.directory[t][0], h.directory[t][1], h.directory[t][2]})
                                  : u32s({0, 0, 0});
  }
  for (auto [primary, secondary] : h.bounds) out += u32s({primary, secondary});
  if (h.base != 0xFFFFFFFF) out += u32s({h.bloom_bits, h.probes}) + h.bloom;
  return out;
}

std::shared_ptr<Chunked> supplied_chunks(const std::string& header,
                                         const std::vector<std::string>& chunks,
                                         const std::set<size_t>& supplied) {
  auto chunked = std::make_shared<Chunked>(header, chunks.size());
  for (size_t c : supplied) EXPECT_EQ(chunked->supply(c, chunks[c]), std::nullopt);
  return chunked;
}

Index chunked_index(const std::string& header, const std::vector<std::string>& chunks,
                    const std::set<size_t>& supplied) {
  return Index(supplied_chunks(header, chunks, supplied));
}

std::vector<TableRows> only(Table table, TableRows rows) {
  std::vector<TableRows> tables(kTableCount);
  tables[uint32_t(table)] = std::move(rows);
  return tables;
}

// Six tables, so the bounds start after a directory of six; Fonts cut into two chunks by key
// hash ("b" 98, "d" 100 | "m" 109, "q" 113); the base chunk 2 holds a template.
const HeaderFields kLayout{
    6, 2, {{2, 0, 0}, {2, 0, 0}, {2, 0, 0}, {0, 2, 7}, {2, 0, 9}}, {{98, 98}, {109, 109}}, 0,
    0, ""};
const std::vector<std::string> kLayoutChunks = {
    write_image(only(Table::Fonts, {{"b", "B"}, {"d", "D"}})),
    write_image(only(Table::Fonts, {{"m", "M"}, {"q", "Q"}})),
    write_image(only(Table::Templates, {{"font", "F"}}))};

struct BoundCase {
  const char* name;
  Table table;
  const char* key;
  std::set<size_t> supplied;
  std::optional<std::string> text;
  Missing missing;
};

class ChunkedBounds : public ::testing::TestWithParam<BoundCase> {};

TEST_P(ChunkedBounds, FindsTheChunkOfTheLastBoundNotAboveTheKey) {
  const BoundCase& c = GetParam();
  Index index = chunked_index(lay_out(kLayout), kLayoutChunks, c.supplied);
  EXPECT_EQ(index.get(c.table, c.key), c.text);
  EXPECT_EQ(index.chunked()->missing(), c.missing);
}

INSTANTIATE_TEST_SUITE_P(
    ChunkLayout, ChunkedBounds,
    ::testing::Values(
        BoundCase{"EqualToFirstBound", Table::Fonts, "b", {0, 2}, "B", {}},
        BoundCase{"EqualToFirstBoundWithheld", Table::Fonts, "b", {1, 2}, {}, {0}},
        BoundCase{"EqualToSecondBoundWithheld", Table::Fonts, "m", {0, 2}, {}, {1}},
        BoundCase{"EqualToSecondBound", Table::Fonts, "m", {1, 2}, "M", {}},
        BoundCase{"BetweenBounds", Table::Fonts, "c", {2}, {}, {0}},
        BoundCase{"AboveLastBoundWithheld", Table::Fonts, "z", {0, 2}, {}, {1}},
        BoundCase{"AboveLastBoundAbsent", Table::Fonts, "z", {0, 1, 2}, {}, {}},
        BoundCase{"BelowFirstBoundNotesNothing", Table::Fonts, "a", {2}, {}, {}},
        BoundCase{"BaseChunkAnswersFirst", Table::Templates, "font", {2}, "F", {}},
        BoundCase{"TableWithoutChunks", Table::Names, "alpha", {2}, {}, {}},
        BoundCase{"UnsuppliedBaseNotedForAnyTable", Table::Fonts, "b", {0, 1}, {}, {2}},
        BoundCase{"UnsuppliedBaseNotedForNames", Table::Names, "red ", {0, 1}, {}, {2}}),
    kByName);

TEST(ChunkedIndex, LenIsTheHeadersCountAndEntriesSkipEmptySlotsQuietly) {
  Index index = chunked_index(lay_out(kLayout), kLayoutChunks, {1, 2});
  EXPECT_EQ(index.len(Table::Fonts), 7u);
  EXPECT_EQ(index.len(Table::Templates), 9u);
  auto listed = [&](Table table) {
    std::vector<Entry> out;
    for (const Entry& e : index.entries(table)) out.push_back(e);
    return out;
  };
  EXPECT_EQ(listed(Table::Fonts), (std::vector<Entry>{{"m", "M"}, {"q", "Q"}}));
  EXPECT_EQ(listed(Table::Templates), (std::vector<Entry>{{"font", "F"}}));
  EXPECT_EQ(index.chunked()->missing(), Missing{});
}

TEST(ChunkedIndex, UnsuppliedChunkIsNotedOnceAndLeavesWhenSupplied) {
  const std::shared_ptr<Chunked> supplier = supplied_chunks(lay_out(kLayout), kLayoutChunks, {2});
  Index index(supplier);
  Chunked& chunked = *supplier;
  EXPECT_FALSE(index.get(Table::Fonts, "q"));
  EXPECT_FALSE(index.entry(Table::Fonts, "q"));
  EXPECT_FALSE(index.get(Table::Fonts, "b"));
  EXPECT_EQ(chunked.missing(), (Missing{0, 1}));
  EXPECT_EQ(chunked.supply(1, kLayoutChunks[1]), std::nullopt);
  EXPECT_EQ(chunked.missing(), Missing{0});
  EXPECT_EQ(index.get(Table::Fonts, "q"), "Q");
  EXPECT_EQ(chunked.take_missing(), Missing{0});
  EXPECT_EQ(chunked.missing(), Missing{});
}

// The filter's hashes, written out from their definition.
struct Probe {
  uint64_t h1, h2;
  explicit Probe(std::string_view key) : h1(text_hash(key)), h2(0) {
    uint32_t h = 0;
    for (unsigned char b : key) h = h * 131 + b;
    h2 = h | 1;
  }
  uint64_t at(uint64_t j, uint64_t m) const { return (h1 + j * h2) % m; }
};

// Names cut into one bounded chunk 0 (bound (0,0): every key maps there, and it is withheld);
// the base chunk 1 holds two modifiers, one of them rare.
struct FilterCase {
  const char* name;
  std::string key;
  bool noted;  // the lookup reached the bound stage
};
constexpr uint32_t kBits = 1009, kProbes = 3;

Index filtered_index(std::string bloom, uint32_t bits = kBits) {
  HeaderFields h{5, 1, {{0, 1, 5}}, {{0, 0}}, bits, kProbes, std::move(bloom)};
  TableRows base = {{"bold ", ""}, {"hiero ", ""}, {"hiero *rare", ""}, {"ok", "present"}};
  return chunked_index(lay_out(h), {write_image({{{"x", "y"}}}), write_image({base})}, {1});
}

class ChunkedFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(ChunkedFilter, ProbesOneWordNamesAndCommonModifiersOnly) {
  Index index = filtered_index(std::string((kBits + 7) / 8, '\0'));
  EXPECT_FALSE(index.get(Table::Names, GetParam().key));
  EXPECT_EQ(index.chunked()->missing(), GetParam().noted ? Missing{0} : Missing{});
  // Without a filter every non-reserved name goes on to the bound stage.
  Index unfiltered = filtered_index("", 0);
  EXPECT_FALSE(unfiltered.get(Table::Names, GetParam().key));
  const bool reserved =
      GetParam().key.ends_with(' ') || GetParam().key.find('*') != std::string::npos;
  EXPECT_EQ(unfiltered.chunked()->missing(), reserved ? Missing{} : Missing{0});
}

INSTANTIATE_TEST_SUITE_P(
    ChunkProbes, ChunkedFilter,
    ::testing::Values(FilterCase{"OneWord", "zzz", false}, FilterCase{"EmptyKey", "", false},
                      FilterCase{"CommonModifierSpace", "bold zzz", false},
                      FilterCase{"CommonModifierHyphen", "bold-zzz", false},
                      FilterCase{"RareModifier", "hiero zzz", true},
                      FilterCase{"NotAModifier", "latin-zzz", true},
                      FilterCase{"LeadingSpace", " zzz", true},
                      FilterCase{"MarkerMissingFromBase", "red ", false},
                      FilterCase{"DirectiveMissingFromBase", "x *suffix", false},
                      FilterCase{"StarInsideName", "a*b", false}),
    kByName);

TEST(ChunkedFilter, ChecksAllProbesAtSixtyFourBitPositions) {
  // A key whose later probes pass 2^32, where a 32-bit sum would land elsewhere.
  std::string key;
  for (int i = 0; key.empty(); ++i) {
    std::string candidate = "wrapprobe" + std::to_string(i);
    Probe p(candidate);
    const uint64_t far = p.h1 + 2 * p.h2;
    const uint64_t wrapped = (far & 0xFFFFFFFF) % kBits;
    const std::set<uint64_t> set = {p.at(0, kBits), p.at(1, kBits), p.at(2, kBits)};
    if (far >> 32 && set.size() == 3 && !set.count(wrapped)) key = candidate;
  }
  const Probe p(key);
  auto bloom_with = [&](uint32_t probes) {
    std::string bloom((kBits + 7) / 8, '\0');
    for (uint32_t j = 0; j < probes; ++j)
      bloom[p.at(j, kBits) / 8] |= char(1 << p.at(j, kBits) % 8);
    return bloom;
  };
  Index all = filtered_index(bloom_with(kProbes));
  EXPECT_FALSE(all.get(Table::Names, key));
  EXPECT_EQ(all.chunked()->missing(), Missing{0}) << "every probe set: on to the bound stage";
  Index short_of_one = filtered_index(bloom_with(kProbes - 1));
  EXPECT_FALSE(short_of_one.get(Table::Names, key));
  EXPECT_EQ(short_of_one.chunked()->missing(), Missing{});
  EXPECT_EQ(all.get(Table::Names, "ok"), "present");
}

struct FaultCase {
  const char* name;
  std::string header;
  size_t slots;
  Table table;
  const char* key;
  const char* message_prefix;
};

class ChunkedFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ChunkedFault, IsAnInternalError) {
  const FaultCase& c = GetParam();
  auto chunked = std::make_shared<Chunked>(c.header, c.slots);
  for (size_t s = 0; s < std::min(c.slots, kLayoutChunks.size()); ++s) {
    chunked->supply(s, kLayoutChunks[s]);
  }
  try {
    Index(chunked).get(c.table, c.key);
    FAIL() << "no internal error";
  } catch (const InternalError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(c.message_prefix, 0), 0u) << e.what();
  }
}

HeaderFields with(HeaderFields h, void (*change)(HeaderFields&)) {
  change(h);
  return h;
}

INSTANTIATE_TEST_SUITE_P(
    ChunkFaults, ChunkedFault,
    ::testing::Values(
        FaultCase{"HeaderOf15Bytes", std::string(15, 'x'), 3, Table::Fonts, "b",
                  "chunked index header shorter than 16 bytes"},
        FaultCase{"BaseBeyondSlots", lay_out(kLayout), 2, Table::Fonts, "b",
                  "chunked index has no chunk 2"},
        FaultCase{"BoundChunkBeyondSlots",
                  lay_out(with(kLayout, [](HeaderFields& h) { h.base = 0xFFFFFFFF; })), 1,
                  Table::Fonts, "m", "chunked index has no chunk 1"},
        FaultCase{"TableBeyondDirectory",
                  lay_out(with(kLayout, [](HeaderFields& h) { h.tables = 3; })), 3, Table::Fonts,
                  "b", "chunked index header has no table 3"},
        FaultCase{"BoundsOutsideHeader",
                  lay_out(with(kLayout, [](HeaderFields& h) { h.directory[3][0] = 1000; })), 3,
                  Table::Fonts, "b", "index read outside the image"},
        FaultCase{"FilterArrayCutShort",
                  lay_out(with(kLayout, [](HeaderFields& h) { h.bloom_bits = 1000; })), 3,
                  Table::Names, "alpha", "index read outside the image"}),
    kByName);

TEST(ChunkedIndex, PoisonedMissingLockFailsEveryNoting) {
  const std::shared_ptr<Chunked> supplier =
      supplied_chunks(lay_out(kLayout), kLayoutChunks, {0, 2});
  Index index(supplier);
  detail::poison_missing(*supplier);
  EXPECT_EQ(index.get(Table::Fonts, "b"), "B");  // a filled slot needs no lock
  auto message = [](auto&& call) {
    try {
      call();
    } catch (const InternalError& e) {
      return std::string(e.what());
    }
    return std::string("no internal error");
  };
  EXPECT_EQ(message([&] { index.get(Table::Fonts, "m"); }), "missing chunks");
  EXPECT_EQ(message([&] { index.chunked()->missing(); }), "missing chunks");
  EXPECT_EQ(message([&] { supplier->take_missing(); }), "missing chunks");
}

TEST(ChunkedSupply, RefusesWhatItCannotStore) {
  auto chunked = std::make_shared<Chunked>(lay_out(kLayout), 3);
  EXPECT_EQ(chunked->supply(0, "GLX"), "not a glyphloom index (magic GLX1 missing)");
  EXPECT_EQ(chunked->supply(0, std::string("GLX1\x04\0\0\0", 8)),
            "glyphloom index has too few tables");
  EXPECT_EQ(chunked->supply(3, kLayoutChunks[0]), "no chunk 3 in this chunked index");
  EXPECT_FALSE(chunked->chunk(0));
  EXPECT_EQ(chunked->supply(0, kLayoutChunks[0]), std::nullopt);
  EXPECT_EQ(chunked->supply(0, kLayoutChunks[1]), "chunk 0 is already supplied");
  EXPECT_EQ(chunked->supply_borrowed(2, kLayoutChunks[2]), std::nullopt);
  Index index(chunked);
  EXPECT_EQ(index.get(Table::Fonts, "b"), "B");  // the first chunk stays
  // Borrowed bytes are viewed where they lie.
  const char* text = index.get(Table::Templates, "font")->data();
  EXPECT_TRUE(text >= kLayoutChunks[2].data() &&
              text < kLayoutChunks[2].data() + kLayoutChunks[2].size());
}

TEST(ChunkedOpen, ChecksWhatLookupsWillRead) {
  ChunkSet set = std::get<ChunkSet>(write_chunks(default_image()));
  auto error_of = [&](void (*change)(std::string&)) {
    std::string header = set.header;
    change(header);
    auto opened = Chunked::open(header);
    return opened.index() == 1 ? std::get<std::string>(opened) : std::string();
  };
  EXPECT_EQ(error_of([](std::string&) {}), "");
  EXPECT_EQ(error_of([](std::string& h) { h[3] = '1'; }),
            "not a glyphloom chunked header (magic GLXC missing)");
  EXPECT_EQ(error_of([](std::string& h) { h.resize(15); }),
            "not a glyphloom chunked header (magic GLXC missing)");
  EXPECT_EQ(error_of([](std::string& h) { put_u32(h, 8, 4); }),
            "glyphloom chunked header has too few tables");
  for (auto change : std::vector<void (*)(std::string&)>{
           [](std::string& h) { put_u32(h, 4, 0xFFFFFFFF); },   // slots not what it refers to
           [](std::string& h) { h.pop_back(); },                // filter cut short
           [](std::string& h) { put_u32(h, 20, 0x7FFFFFFF); },  // Names bounds run past the base
           [](std::string& h) { put_u32(h, 12, 0x00FFFFFF); }}) {
    EXPECT_EQ(error_of(change).rfind("glyphloom chunked header is malformed: ", 0), 0u);
  }
}

// The default image split several ways; every lookup must answer as the whole image does.
struct Split {
  ChunkSet set;
  std::map<std::pair<uint32_t, std::string>, size_t> holder;  // (table, key) -> chunk

  explicit Split(const ChunkOptions& options)
      : set(std::get<ChunkSet>(write_chunks(default_image(), options))) {
    for (size_t c = 0; c < set.chunks.size(); ++c) {
      Whole chunk(set.chunks[c]);
      for (uint32_t t = 0; t < kTableCount; ++t) {
        for (size_t i = 0; i < chunk.len(Table(t)); ++i) {
          EXPECT_TRUE(holder.emplace(std::pair(t, chunk.entry_at(Table(t), i).key), c).second);
        }
      }
    }
  }
  std::shared_ptr<Chunked> open(const std::set<size_t>& withheld = {}) const {
    auto chunked = std::get<std::shared_ptr<Chunked>>(Chunked::open(set.header));
    for (size_t c = 0; c < set.chunks.size(); ++c) {
      if (!withheld.count(c)) {
        EXPECT_EQ(chunked->supply_borrowed(c, set.chunks[c]), std::nullopt);
      }
    }
    return chunked;
  }
};

// Names near the real ones: typos, other cases, composed with every modifier, random words.
std::vector<std::string> absent_names(const Index& whole, size_t count) {
  std::vector<std::string> present, modifiers, out;
  for (const Entry& e : whole.entries(Table::Names)) {
    present.emplace_back(e.key);
    if (e.key.ends_with(' ') && e.key.find('*') == std::string::npos) modifiers.emplace_back(e.key);
  }
  std::mt19937 random(20240611);
  auto pick = [&](const std::vector<std::string>& v) { return v[random() % v.size()]; };
  auto word = [&] {
    std::string w;
    for (size_t n = 3 + random() % 9; n > 0; --n) w += char('a' + random() % 26);
    return w;
  };
  while (out.size() < count) {
    std::string key;
    const unsigned form = random() % 4;
    key = form == 0 ? word() : form == 1 ? pick(modifiers) + word() : pick(present);
    if (form == 2) key += char('a' + random() % 26);
    if (form == 3 && !key.empty()) key[random() % key.size()] ^= 0x20;
    if (!whole.entry(Table::Names, key)) out.push_back(key);
  }
  return out;
}

class ChunkedEquivalence : public ::testing::TestWithParam<ChunkOptions> {};

TEST_P(ChunkedEquivalence, AnswersAsTheWholeImage) {
  const Split split(GetParam());
  const Index whole = testing::default_index();
  const Index index(split.open());
  for (uint32_t t = 0; t < kTableCount; ++t) {
    ASSERT_EQ(index.len(Table(t)), whole.len(Table(t)));
    std::multiset<std::pair<std::string_view, std::string_view>> expected, listed;
    for (const Entry& e : whole.entries(Table(t))) {
      expected.emplace(e.key, e.text);
      ASSERT_EQ(index.entry(Table(t), e.key), e) << t << " " << e.key;
    }
    for (const Entry& e : index.entries(Table(t))) listed.emplace(e.key, e.text);
    EXPECT_EQ(listed, expected);
  }
  for (const std::string& key : absent_names(whole, 50000)) {
    ASSERT_FALSE(index.entry(Table::Names, key)) << key;
    ASSERT_EQ(index.entry(Table::Spellings, key), whole.entry(Table::Spellings, key)) << key;
  }
  EXPECT_EQ(index.chunked()->missing(), Missing{});
}

TEST_P(ChunkedEquivalence, WithheldChunksAnswerRightlyOrNoteTheHolder) {
  const Split split(GetParam());
  const Index whole = testing::default_index();
  std::mt19937 random(7);
  std::set<size_t> withheld;
  for (size_t c = 0; c < split.set.base(); ++c) {
    if (random() % 2) withheld.insert(c);
  }
  const std::shared_ptr<Chunked> supplier = split.open(withheld);
  const Index index(supplier);
  Chunked& chunked = *supplier;
  for (const auto& [where, chunk] : split.holder) {
    const Table table = Table(where.first);
    auto found = index.entry(table, where.second);
    if (withheld.count(chunk)) {
      ASSERT_FALSE(found) << where.second;
      ASSERT_EQ(chunked.take_missing(), Missing{chunk}) << where.second;
    } else {
      ASSERT_EQ(found, whole.entry(table, where.second));
      ASSERT_EQ(chunked.missing(), Missing{});
    }
  }
  for (const std::string& key : absent_names(whole, 20000)) {
    ASSERT_FALSE(index.entry(Table::Names, key));
    Missing noted = chunked.take_missing();
    ASSERT_LE(noted.size(), 1u);
    if (!noted.empty()) {
      ASSERT_TRUE(withheld.count(noted[0])) << key;
    }
  }
  // Without its base chunk a chunked index knows nothing, and says which chunk it needs.
  const Index baseless(split.open({split.set.base()}));
  for (const char* key : {"gt", "red ", "alpha", "bold A", "no such name"}) {
    EXPECT_FALSE(baseless.get(Table::Names, key));
  }
  EXPECT_EQ(baseless.chunked()->missing(), Missing{split.set.base()});
}

INSTANTIATE_TEST_SUITE_P(ChunkSizes, ChunkedEquivalence,
                         ::testing::Values(ChunkOptions{}, ChunkOptions{4096, 0, 10},
                                           ChunkOptions{1 << 20, 1 << 16, 0}),
                         [](const auto& info) {
                           return "Chunk" + std::to_string(info.param.chunk_size) + "Base" +
                                  std::to_string(info.param.base_table_limit) + "Bloom" +
                                  std::to_string(info.param.bloom_bits_per_key);
                         });

TEST(ChunkWriter, CutsTablesIntoBoundedChunksAroundTheBase) {
  const ChunkOptions options;
  const Split split(options);
  const Whole base(split.set.chunks[split.set.base()]);
  EXPECT_EQ(base.len(Table::Effects), 19u);
  EXPECT_EQ(base.len(Table::Templates), 9u);
  EXPECT_TRUE(base.entry(Table::Names, "red "));
  EXPECT_TRUE(base.entry(Table::Names, "hieroglyph *rare"));
  for (size_t c = 0; c < split.set.base(); ++c) {
    const std::string& chunk = split.set.chunks[c];
    EXPECT_LE(chunk.size(), options.chunk_size);
    const Whole whole(chunk);
    size_t tables = 0;
    for (uint32_t t = 0; t < kTableCount; ++t) tables += whole.len(Table(t)) > 0;
    EXPECT_EQ(tables, 1u) << "chunk " << c;
  }
  // Keys of one order pair are never parted, whatever the target size.
  ASSERT_EQ(chunk_order(Table::Names, "Aa"), chunk_order(Table::Names, "BB"));
  TableRows rows = {{"Aa", "1"}, {"BB", "2"}, {"Ab", "3"}, {"C", "4"}, {"D", "5"}};
  ChunkSet tiny = std::get<ChunkSet>(write_chunks(write_image({rows}), {1, 0, 10}));
  EXPECT_EQ(tiny.chunks.size(), 4u + 1);  // one chunk per order pair, and the base
  for (const auto& chunk : tiny.chunks) {
    const Whole image(chunk);
    EXPECT_EQ(image.entry(Table::Names, "Aa").has_value(),
              image.entry(Table::Names, "BB").has_value());
  }
  EXPECT_EQ(std::get<std::string>(write_chunks("GLX0")),
            "not a glyphloom index (magic GLX1 missing)");
}

TEST(ChunkWriter, FilterFalsePositiveRateOnAbsentNames) {
  const Split split(ChunkOptions{});
  const Index whole = testing::default_index();
  const std::shared_ptr<Chunked> supplier = split.open([&] {
    std::set<size_t> bounded;
    for (size_t c = 0; c < split.set.base(); ++c) bounded.insert(c);
    return bounded;
  }());
  const Index index(supplier);
  // Only names the filter is asked about: one word, or a common modifier and a word.
  size_t asked = 0, passed = 0;
  for (const std::string& key : absent_names(whole, 100000)) {
    const size_t cut = key.find_first_of("- ");
    if (cut != std::string::npos && (!whole.entry(Table::Names, key.substr(0, cut) + " ") ||
                                     whole.entry(Table::Names, key.substr(0, cut) + " *rare"))) {
      continue;
    }
    ++asked;
    index.get(Table::Names, key);
    passed += !supplier->take_missing().empty();
  }
  const double rate = double(passed) / double(asked);
  std::cout << "absence filter: " << split.set.bloom_bits << " bits (" << split.set.bloom_bits / 8
            << " bytes), " << split.set.bloom_probes << " probes, " << split.set.filtered_names
            << " names; false positives " << passed << " of " << asked
            << " absent names = " << rate * 100 << " %\n";
  ::testing::Test::RecordProperty("bloom_false_positive_rate", std::to_string(rate));
  EXPECT_GT(asked, 50000u);
  EXPECT_LT(rate, 0.02);
}

TEST(ChunkedConcurrency, SuppliersRaceLookupsAndEachOther) {
  const Split split(ChunkOptions{8192, 0, 10});
  const Index whole = testing::default_index();
  std::vector<std::pair<Table, std::string>> keys;
  size_t n = 0;
  for (const auto& [where, chunk] : split.holder) {
    if (n++ % 8 == 0) keys.emplace_back(Table(where.first), where.second);
  }
  auto chunked = std::get<std::shared_ptr<Chunked>>(Chunked::open(split.set.header));
  const Index index(chunked);
  std::atomic<size_t> stored{0}, suppliers_done{0};
  std::atomic<bool> wrong{false};
  std::latch start(6);
  std::vector<std::thread> threads;
  for (unsigned s = 0; s < 3; ++s) {
    threads.emplace_back([&, s] {
      std::vector<size_t> order(split.set.chunks.size());
      for (size_t c = 0; c < order.size(); ++c) order[c] = c;
      std::shuffle(order.begin(), order.end(), std::mt19937(s));
      start.arrive_and_wait();
      for (size_t c : order) {
        stored += !chunked->supply(c, split.set.chunks[c]);
        std::this_thread::yield();
      }
      ++suppliers_done;
    });
  }
  for (unsigned l = 0; l < 3; ++l) {
    threads.emplace_back([&, l] {
      start.arrive_and_wait();
      // Keep looking up for as long as chunks are still arriving.
      for (size_t i = l; suppliers_done < 3; i = (i + 3) % keys.size()) {
        auto found = index.entry(keys[i].first, keys[i].second);
        if (found && *found != whole.entry(keys[i].first, keys[i].second)) wrong = true;
        if (i % 64 == 0) chunked->take_missing();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_FALSE(wrong);
  EXPECT_EQ(stored, split.set.chunks.size());
  for (const auto& [table, key] : keys) ASSERT_EQ(index.entry(table, key), whole.entry(table, key));
  EXPECT_EQ(chunked->missing(), Missing{});
}

}  // namespace
}  // namespace glyphloom
