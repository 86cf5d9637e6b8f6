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
    for (std::string_view key : {"", "a", "gt", "red ", "font"}) {
      try {
        index->get(Table(t), key);
      } catch (const InternalError&) {
      }
    }
  }
  try {
    Glyphloom converter(*index);
    converter.convert("<:a b> \\:gt <:color red x>", WarningMode::Lenient);
    converter.to_glyphloom("\xC3\xA9\xEF\xB8\x8F");
  } catch (const InternalError&) {
  }
  return 0;
}
