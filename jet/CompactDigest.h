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

// Finds a live row's position in a liveRows() list. Index entries point all
// over a table, so a lookup touches one small per-page record: the rows
// before the page and a bit per slot, the position being a count of bits.
class RowIndex {
 public:
  // rows ascending, as liveRows() gives them; throws Corrupt otherwise.
  RowIndex(const std::vector<uint32_t>& rows, uint32_t pageCount);
  // Position of ptr, or UINT32_MAX when it is not a live header row.
  uint32_t find(RowPtr ptr) const {
    if (ptr.page >= page_.size() || page_[ptr.page] == UINT32_MAX) return UINT32_MAX;
    const Page& p = pages_[page_[ptr.page]];
    const unsigned w = ptr.row / 64, b = ptr.row % 64;
    if (!((p.live[w] >> b) & 1)) return UINT32_MAX;
    uint32_t at = p.before + bits(p.live[w] & ((uint64_t{1} << b) - 1));
    for (unsigned k = 0; k < w; ++k) at += bits(p.live[k]);
    return at;
  }

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
  std::vector<uint32_t> page_;  // per page: its record in pages_, or UINT32_MAX
  std::vector<Page> pages_;
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
