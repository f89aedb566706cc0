#pragma once

// Live rows of a table and their fields. The scan walks the table's owned
// pages, skips deleted slots and follows overflow pointers to the real row.

#include <cstdint>
#include <vector>

#include "jet/Bytes.h"
#include "jet/DataPage.h"
#include "jet/Format.h"
#include "jet/TableDef.h"

namespace jet {

class Database;

// One live row: where its header slot is, and its bytes (overflow followed).
struct RawRow {
  RowPtr header;  // the slot index entries point at
  RowPtr stored;  // where the bytes live (== header unless it overflowed)
  ByteView bytes;
};

// A field cut from a row: null, or its stored bytes. Booleans carry their
// value in `boolValue` (the null-mask bit) and are never null.
struct Field {
  bool null = true;
  bool boolValue = false;
  ByteView bytes;
};

// Splits rows of one table into fields, indexed like TableDef::columns.
class RowDecoder {
 public:
  RowDecoder(const Database& db, const TableDef& def);
  // Throws Corrupt when the row's trailer or offsets are inconsistent.
  void decode(ByteView row, std::vector<Field>& fields) const;
  // Number of columns the row says it stores.
  uint16_t storedColumns(ByteView row) const;

 private:
  const TableDef* def_;
  bool jet4_;
};

// Iterates the live rows of a table in page order. Overflow chains are
// followed up to a bound, so a pointer loop ends in Corrupt, not a hang.
class TableScan {
 public:
  TableScan(const Database& db, const TableDef& def);
  // The next live row; false at the end. Throws Corrupt.
  bool next(RawRow& row);
  // Pages the table's owned map lists, in order.
  const std::vector<uint32_t>& pages() const { return pages_; }

 private:
  const Database* db_;
  const TableDef* def_;
  std::vector<uint32_t> pages_;
  size_t pageIndex_ = 0;
  uint32_t rowIndex_ = 0;
  uint32_t rowsOnPage_ = 0;
  bool pageOpen_ = false;
};

// Follows a lookup slot's pointer (repeatedly) to the real row. Throws Corrupt.
RowSlot followOverflow(const Database& db, RowSlot slot, RowPtr& stored);

}  // namespace jet
