#pragma once

// What must survive a compaction, reduced to order-independent checksums:
// per table the multiset of rows (long values resolved, pointers left out)
// and per index the multiset of (key, row) pairs. The compactor fills one
// for the source as it copies; verification reads the output into another.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jet/CompactSource.h"

namespace jet::compact {

struct Multiset {
  uint64_t count = 0, sum = 0, xr = 0;
  void add(uint64_t h) {
    ++count;
    sum += h;
    xr ^= mix(h, 0x5bd1e995);
  }
  bool operator==(const Multiset&) const = default;
};

struct TableDigest {
  uint32_t tdef = 0;
  std::string name;
  Multiset rows;
  std::vector<Multiset> indexes;  // per real index
};

// A table of the catalog: Type 1 rows of MSysObjects.
struct CatalogTable {
  uint32_t tdef = 0;
  std::string name;
};
// Sorted by TDEF page. Throws Corrupt.
std::vector<CatalogTable> readCatalogTables(SourceFile& src);

// Live header rows of a table in page order (raw RowPtrs). Throws Corrupt.
std::vector<uint32_t> liveRows(SourceFile& src, const TableDef& def);

// Finds a live row's position in a liveRows() list.
class RowIndex {
 public:
  RowIndex(const std::vector<uint32_t>& rows, uint32_t pageCount);
  // Position of ptr, or UINT32_MAX when it is not a live header row.
  uint32_t find(RowPtr ptr) const;

 private:
  std::vector<uint32_t> base_;   // per page: its slots' start in at_, or UINT32_MAX
  std::vector<uint32_t> at_;     // per slot of those pages: position, or UINT32_MAX
  std::vector<uint16_t> slots_;  // per page: slots covered
};

// The checksum of one row. lvData(column, field) returns a long value's data
// for fields that are not inline.
using LongValueData = std::function<std::vector<uint8_t>(const Column&, ByteView field)>;
uint64_t hashRow(const TableDef& def, bool jet4, const std::vector<uint8_t>& row,
                 const LongValueData& lvData);

// Reads the table at tdef as verification sees it.
TableDigest digestTable(SourceFile& file, const CatalogTable& table);

// Throws Error naming the first difference.
void compareDigests(const std::vector<TableDigest>& expected,
                    const std::vector<TableDigest>& actual);

}  // namespace jet::compact
