// The views of the registered image's tables, with the hash slots of its large ones (see HashSlots
// in search.hpp): made once, on its first lookup, and kept for the life of the process.
#include <atomic>
#include <bit>
#include <vector>

#include "records.hpp"
#include "search.hpp"

namespace glyphloom::detail {

namespace {

std::atomic<const char*> static_image_data{nullptr};
std::atomic<size_t> static_image_size{0};

struct TableSlots {
  std::vector<uint32_t> slots;
  HashSlots view;
};

// The slots of one table: the first record of each run of equal hashes, put at the slot its hash
// mixes to, or further on past taken slots. At most two thirds of the slots are taken, so a probe
// for a hash that is not there soon meets an empty one.
void fill(TableSlots& out, const unsigned char* records, size_t count) {
  const unsigned index_bits = static_cast<unsigned>(std::bit_width(count));
  if (count == 0 || index_bits > HashSlots::kMaxIndexBits) return;
  const unsigned slot_bits = static_cast<unsigned>(std::bit_width(2 * count - 1));
  out.slots.assign(size_t{1} << slot_bits, 0);
  out.view = HashSlots{out.slots.data(), slot_bits, index_bits};
  const size_t mask = out.slots.size() - 1;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t h = hash_at(records, i);
    if (i > 0 && hash_at(records, i - 1) == h) continue;
    const HashSlots::Probe probe = out.view.probe(h);
    size_t at = probe.slot;
    while (out.slots[at] != 0) at = (at + 1) & mask;
    out.slots[at] = probe.tag | static_cast<uint32_t>(i + 1);
  }
}

// Every table of the registered image, viewed once: its large tables with their slots.
struct ImageViews {
  TableSlots slotted[kTableCount];
  TableView views[kTableCount];
};

ImageViews views_of(std::string_view image) {
  ImageViews made;
  for (uint32_t t = 0; t < kTableCount; ++t) {
    TableView& view = made.views[t];
    view = records_of(image, static_cast<Table>(t));
    if (view.records && view.count >= kMinSlottedRecords) {
      fill(made.slotted[t], view.records, view.count);
      view.slots = made.slotted[t].view;
    }
  }
  return made;
}

}  // namespace

void register_static_image(std::string_view image) noexcept {
  static_image_size.store(image.size(), std::memory_order_relaxed);
  static_image_data.store(image.data(), std::memory_order_release);
}

const TableView* registered_view(std::string_view image, Table table) noexcept {
  if (image.data() != static_image_data.load(std::memory_order_acquire) ||
      image.size() != static_image_size.load(std::memory_order_relaxed)) {
    return nullptr;
  }
  try {
    static const ImageViews made = views_of(image);
    return &made.views[static_cast<uint32_t>(table)];
  } catch (...) {
    // Without memory for the slots the table is bisected, as any other.
    return nullptr;
  }
}

}  // namespace glyphloom::detail
