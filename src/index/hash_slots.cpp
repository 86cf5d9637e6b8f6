// The views of the registered image's tables, with the hash slots of its large ones (see HashSlots
// in search.hpp): each made once, on its first lookup, and kept for the life of the process.
#include <atomic>
#include <bit>
#include <mutex>

#include "records.hpp"
#include "search.hpp"

namespace glyphloom::detail {

namespace {

std::atomic<const char*> static_image_data{nullptr};
std::atomic<size_t> static_image_size{0};

// The slots of one table: the first record of each run of equal hashes, put at the slot its hash
// mixes to, or further on past taken slots. At most half the slots are taken, so a probe for a
// hash that is not there soon meets an empty one. None for a table too large for a slot's
// record number.
HashSlots slots_of(const unsigned char* records, size_t count) {
  const unsigned index_bits = static_cast<unsigned>(std::bit_width(count));
  if (count == 0 || index_bits > HashSlots::kMaxIndexBits) return {};
  const unsigned slot_bits = static_cast<unsigned>(std::bit_width(2 * count - 1));
  const size_t size = size_t{1} << slot_bits;
  // Never freed: lookups may come as late as the destructors of other static objects.
  uint32_t* const slots = new uint32_t[size]();
  const HashSlots made{slots, slot_bits, index_bits};
  for (size_t i = 0; i < count; ++i) {
    const uint32_t h = hash_at(records, i);
    if (i > 0 && hash_at(records, i - 1) == h) continue;
    const HashSlots::Probe probe = made.probe(h);
    size_t at = probe.slot;
    while (slots[at] != 0) at = (at + 1) & (size - 1);
    slots[at] = probe.tag | static_cast<uint32_t>(i + 1);
  }
  return made;
}

// A table of the registered image, viewed once, on its first lookup, so that a process keeps
// the slots of the tables it looks up only. `ready` is set, once the view is made, to point at it.
struct RegisteredTable {
  TableView view;
  std::atomic<const TableView*> ready{nullptr};
};
RegisteredTable registered[kTableCount];
std::mutex making;

const TableView& made_view(RegisteredTable& table, std::string_view image, Table which) {
  const std::lock_guard<std::mutex> hold(making);
  if (const TableView* done = table.ready.load(std::memory_order_relaxed)) return *done;
  TableView view = records_of(image, which);
  if (view.records && view.count >= kMinSlottedRecords) {
    view.slots = slots_of(view.records, view.count);
  }
  table.view = view;
  table.ready.store(&table.view, std::memory_order_release);
  return table.view;
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
  RegisteredTable& known = registered[static_cast<uint32_t>(table)];
  if (const TableView* done = known.ready.load(std::memory_order_acquire)) return done;
  try {
    return &made_view(known, image, table);
  } catch (...) {
    // Without memory for the slots the table is bisected, as any other.
    return nullptr;
  }
}

}  // namespace glyphloom::detail
