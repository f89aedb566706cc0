#pragma once

// The live rows of a table: the pages its owned map lists, deleted slots
// skipped, overflow pointers followed to the real row.

#include <cstdint>
#include <vector>

#include "jet/format/DataPage.h"
#include "jet/format/TableDef.h"

namespace jet {

class Database;

// One live row: its header slot (what index entries point at), where its
// bytes are, and the bytes, kept valid by holding their page.
struct RawRow {
  RowPtr header;
  RowPtr stored;  // == header unless the row overflowed
  ByteView bytes;
  Page page;
};

class TableScan {
 public:
  // Reads the table's owned map. Throws Corrupt when it cannot be read.
  TableScan(const Database& db, const TableDef& def);
  // The next live row in page order; false at the end. Pages the map lists
  // that are no data page of this table are passed over (check reports
  // them). Throws Corrupt for a slot or an overflow pointer that is damaged.
  bool next(RawRow& row);
  const std::vector<uint32_t>& pages() const { return pages_; }

 private:
  bool openNextPage();

  const Database& db_;
  const TableDef& def_;
  std::vector<uint32_t> pages_;
  size_t pageIndex_ = 0;
  std::optional<DataPage> page_;
  uint16_t row_ = 0, rows_ = 0;
};

// The header slots of the live rows, as RowPtr raw values in page order,
// without reading the rows. Throws Corrupt for a page claiming more rows
// than a row pointer can address. passedOver, when given, receives the pages
// of the owned map that are no data page of the table.
std::vector<uint32_t> liveRows(const Database& db, const TableDef& def,
                               std::vector<uint32_t>* passedOver = nullptr);

}  // namespace jet
