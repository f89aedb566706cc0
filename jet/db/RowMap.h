#pragma once

// Where a live row stands among its table's live rows: index entries and
// overflow pointers name rows by page and slot, and compaction and the check
// need the row's position (or whether it is live at all) for each of them.
// A lookup touches one small per-page record (the rows before the page and a
// bit per slot), since entries point all over a table; a few bytes a row.

#include <cstdint>
#include <vector>

#include "jet/format/Format.h"

namespace jet {

class RowMap {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;

  RowMap() = default;
  // rows: RowPtr raw values, ascending, as liveRows() gives them. Throws
  // Corrupt otherwise.
  RowMap(const std::vector<uint32_t>& rows, uint32_t pageCount);

  // Position of ptr among the rows, or kNone when it is not a live row.
  uint32_t find(RowPtr ptr) const {
    if (ptr.page >= page_.size() || page_[ptr.page] == kNone) return kNone;
    const Page& p = pages_[page_[ptr.page]];
    const unsigned w = ptr.row / 64, b = ptr.row % 64;
    if (!((p.live[w] >> b) & 1)) return kNone;
    uint32_t at = p.before + bits(p.live[w] & ((uint64_t{1} << b) - 1));
    for (unsigned k = 0; k < w; ++k) at += bits(p.live[k]);
    return at;
  }
  bool contains(RowPtr ptr) const { return find(ptr) != kNone; }
  uint32_t size() const { return size_; }

 private:
  // Set bits of x, inline: without -mpopcnt the builtin is a library call.
  static uint32_t bits(uint64_t x) {
    x -= (x >> 1) & 0x5555555555555555ull;
    x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return static_cast<uint32_t>((x * 0x0101010101010101ull) >> 56);
  }
  struct Page {
    uint32_t before = 0;    // live rows on earlier pages
    uint64_t live[4] = {};  // a bit per slot
  };
  std::vector<uint32_t> page_;  // per page: its record in pages_, or kNone
  std::vector<Page> pages_;
  uint32_t size_ = 0;
};

}  // namespace jet
