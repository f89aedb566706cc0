#pragma once

// Type-1 pages (table data, long values, usage-map holders, page 1) and their
// row directory:
//
//   0      u8   0x01                    RCO = 8 (Jet 3) / 12 (Jet 4)
//   2      u16  free space
//   4      u32  owner: TDEF page, "LVAL", 0 (map holders) or 1 (page 1)
//   RCO    u16  n = slots in the row directory
//   RCO+2  u16  slot[n]: row start (& 0x1FFF), 0x8000 deleted, 0x4000 lookup
//   ...    rows stacked from the end of the page down, row 0 ending at the
//          page's end, row r ending where row r-1 starts

#include <cstdint>

#include "jet/format/Format.h"
#include "jet/format/PageSource.h"
#include "jet/util/Bytes.h"

namespace jet {

// One directory slot and its bytes, from its start to where the previous row
// starts. Holding it keeps its page, and so its bytes, valid.
struct RowSlot {
  uint16_t flags = 0;  // kRowDeleted / kRowLookup bits of the entry
  ByteView bytes;
  Page page;

  bool deleted() const { return (flags & kRowDeleted) != 0; }
  // A live slot that only points at the row (overflow).
  bool lookup() const { return (flags & kRowLookup) != 0 && !deleted(); }
};

class DataPage {
 public:
  // Throws Corrupt when the page is not a data page or its directory cannot
  // fit it.
  DataPage(Page page, const Format& format);

  uint32_t number() const { return page_.number(); }
  uint32_t owner() const { return bytes_.u32(4); }
  uint16_t freeSpace() const { return bytes_.u16(2); }
  uint16_t rowCount() const { return rowCount_; }
  // Slot `row`. Throws Corrupt when it leaves the page or the directory.
  RowSlot slot(uint16_t row) const;
  bool slotDeleted(uint16_t row) const { return (entry(row) & kRowDeleted) != 0; }
  // Free space by the directory: lowest row start minus the directory's end.
  int computedFreeSpace() const;

 private:
  uint16_t entry(uint16_t row) const { return bytes_.u16(dirStart_ + 2u * row); }

  Page page_;
  ByteView bytes_;
  uint16_t rowCount_ = 0;
  uint32_t dirStart_ = 0;
};

// The slot `ptr` names, on a data page (any flags). Throws Corrupt.
RowSlot readSlot(PageSource& pages, RowPtr ptr);

// The row of a live header slot: lookup pointers followed to their target,
// a bounded number of hops. `stored` receives where the bytes live. Throws
// Corrupt for a deleted slot, a dangling pointer or a pointer loop.
RowSlot readRow(PageSource& pages, RowPtr header, RowPtr* stored = nullptr);

}  // namespace jet
