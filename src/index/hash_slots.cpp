// The views of the registered image's tables, with the hash slots of its large ones (see HashSlots
// in search.hpp): each made once, on its first lookup, and kept for the life of the process.
#include <atomic>
#include <bit>
#include <memory>
#include <mutex>

#include "records.hpp"
#include "search.hpp"

namespace glyphloom::detail {

namespace {

std::atomic<const char*> static_image_data{nullptr};
std::atomic<size_t> static_image_size{0};

// The slots of one table: the first record of each run of equal hashes, put at the slot its hash
// mixes to, or the first empty one after it. Runs of taken slots do not wrap round: past the
// last of the 2^slot_bits slots lies a stretch where they may end, whose last kPadding slots
// stay empty, so that a lookup may read four slots at a time and always meets an empty one.
// At most half the slots are taken, so the runs are short. None for a table too large for a
// slot's record number, or whose runs would not end in time (never seen; it would be bisected).
HashSlots slots_of(const unsigned char* records, size_t count) {
  constexpr size_t kOverflow = 256, kPadding = 4;
  const unsigned index_bits = static_cast<unsigned>(std::bit_width(count));
  if (count == 0 || index_bits > HashSlots::kMaxIndexBits) return {};
  const unsigned slot_bits = static_cast<unsigned>(std::bit_width(2 * count - 1));
  const size_t size = (size_t{1} << slot_bits) + kOverflow;
  std::unique_ptr<uint32_t[]> slots(new uint32_t[size]());
  const HashSlots made{slots.get(), slot_bits, index_bits};
  for (size_t i = 0; i < count; ++i) {
    const uint32_t h = hash_at(records, i);
    if (i > 0 && hash_at(records, i - 1) == h) continue;
    const HashSlots::Probe probe = made.probe(h);
    size_t at = probe.slot;
    while (slots[at] != 0) ++at;
    if (at >= size - kPadding) return {};
    slots[at] = probe.tag | static_cast<uint32_t>(i + 1);
  }
  // Never freed: lookups may come as late as the destructors of other static objects.
  slots.release();
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
