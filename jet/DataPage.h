#pragma once

// The row directory of a type-1 page (table data, LVAL, usage-map holders).

#include <cstdint>

#include "jet/Bytes.h"
#include "jet/Format.h"

namespace jet {

class Database;

// One directory slot, resolved to its bytes within the page.
struct RowSlot {
  uint16_t flags = 0;  // kRowDeleted / kRowLookup bits of the entry
  ByteView bytes;      // the row: from its start to where the previous row starts

  bool deleted() const { return (flags & kRowDeleted) != 0; }
  bool lookup() const { return (flags & kRowLookup) != 0 && !deleted(); }
};

class DataPage {
 public:
  // Throws Corrupt when the page is not a data page or its row count cannot fit.
  DataPage(ByteView page, const Format& format);

  uint32_t owner() const { return page_.u32(4); }
  uint16_t freeSpace() const { return page_.u16(2); }
  uint16_t rowCount() const { return rowCount_; }
  uint16_t entry(uint16_t row) const;  // raw directory entry
  // Slot `row`. Throws Corrupt when its start/end leave the page or the directory.
  RowSlot slot(uint16_t row) const;
  // Free space by the directory: lowest row start minus the directory's end.
  int computedFreeSpace() const;
  ByteView bytes() const { return page_; }

 private:
  ByteView page_;
  uint16_t rowCount_ = 0;
  uint32_t dirStart_ = 0;
};

// The bytes of row `ptr` on a data page (any flags). Throws Corrupt.
RowSlot readSlot(const Database& db, RowPtr ptr);

}  // namespace jet
