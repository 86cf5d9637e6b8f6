// Lookups over any bytes as an image: every outcome is a value or InternalError, and nothing is
// read outside the buffer (ASan checks that). The input is copied into an exact-size buffer.
#include <memory>

#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace glyphloom;
  std::unique_ptr<char[]> copy(new char[size]);
  std::copy(data, data + size, copy.get());
  std::string_view image(copy.get(), size);
  auto opened = Index::open(image);
  auto* index = std::get_if<Index>(&opened);
  if (!index) return 0;
  for (uint32_t t = 0; t < kTableCount; ++t) {
    try {
      size_t n = 0;
      for (const Entry& e : index->entries(Table(t))) {
        FUZZ_CHECK(e.key.data() >= image.data() &&
                   e.key.data() + e.key.size() <= image.data() + size);
        FUZZ_CHECK(e.text.data() >= image.data() &&
                   e.text.data() + e.text.size() <= image.data() + size);
        if (auto found = index->entry(Table(t), e.key)) FUZZ_CHECK(found->key == e.key);
        if (++n > 256) break;
      }
    } catch (const InternalError&) {
    }
    // The last two share a hash with every key made of "Aa", "BB" and "C#" alike.
    for (std::string_view key : {"", "a", "gt", "red ", "font", "C#C#C#BB", "BBAaC#Aa"}) {
      try {
        index->get(Table(t), key);
      } catch (const InternalError&) {
      }
    }
  }
  // Every converter operation over the image: a value or InternalError, each on its own, since
  // one that fails must not keep the others from running.
  Glyphloom converter(*index);
  const auto attempt = [](auto&& operation) {
    try {
      operation();
    } catch (const InternalError&) {
    }
  };
  for (WarningMode mode : {WarningMode::Warn, WarningMode::Lenient}) {
    attempt([&] {
      auto result =
          converter.convert("<:a b> \\:gt <:color red x> <:bold red a> <:red>xy<:>", mode);
      if (auto* done = std::get_if<Converted>(&result)) FUZZ_CHECK(utf8::valid(done->text));
    });
  }
  attempt([&] {
    FUZZ_CHECK(utf8::valid(converter.to_glyphloom("\xC3\xA9\xEF\xB8\x8F\xCE\xB1 a<:b")));
  });
  attempt([&] {
    const std::string tagged = Meta{MetaKind::Open, "font", "han-japanese"}.tags() + "x" +
                               Meta{MetaKind::Attached, "color", "red"}.tags();
    Styled styled = converter.meta_runs(tagged);
    FUZZ_CHECK(utf8::valid(converter.html(styled)));
  });
  attempt([&] {
    if (auto font = converter.font("han-japanese")) FUZZ_CHECK(utf8::valid(font->lang));
  });
  attempt([&] { converter.meta_template("color"); });
  return 0;
}
