#pragma once

// What must survive a compaction, reduced to order-independent checksums:
// per table the multiset of rows, each with its place in the output
// (memo/OLE data resolved, their pointers left out), and per index the
// multiset of (key, row place) pairs. The compactor fills one for the source
// as it copies; verification reads the output into another, through the
// same readers, holding nothing per row.

#include <cstdint>
#include <string>
#include <vector>

#include "jet/format/TableDef.h"
#include "jet/util/Hash.h"

namespace jet {
class Database;
}

namespace jet::compact {

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
  bool system = false;
  bool retyped = false;  // salvage: its catalog row's Type made a table again
};
// The catalog's tables sorted by TDEF page, MSysObjects (page 2) first even
// where its own row is lost. Throws Corrupt for a table outside the file or
// two tables at one page; given passedOver (salvage), leaves such an entry
// out and describes it there instead.
std::vector<CatalogTable> catalogTables(const Database& db,
                                        std::vector<std::string>* passedOver = nullptr);

// The checksum of a row; lvData(i) is the data of the i-th memo/OLE field
// stored out of the row, in column order.
class RowHasher {
 public:
  RowHasher(const Database& db, const TableDef& def) : db_(db), def_(def) {}
  // lvHash: the checksum of the row's memo/OLE data held outside it.
  uint64_t hash(ByteView row, uint64_t lvHash);
  // The same, reading the memo/OLE data from the database.
  uint64_t hash(ByteView row);

 private:
  const Database& db_;
  const TableDef& def_;
  std::vector<uint8_t> blanked_, data_;
};

// Mixes a memo/OLE field's data into a row's lvHash.
inline uint64_t mixLongValue(uint64_t lvHash, const Column& c, const uint8_t* data, size_t size) {
  return mix(lvHash, hashBytes(data, size, c.number));
}

// An index entry's checksum: its key and the row it names, by position
// among the table's rows or by pointer.
inline uint64_t entryChecksum(ByteView key, uint32_t row) {
  return mix(hashBytes(key.data(), key.size()), row);
}

// Reads the table as verification sees it. Throws Error naming the table
// when its stored row count or its index order is wrong.
TableDigest digestTable(const Database& db, const CatalogTable& table);

// Throws Error naming the first difference.
void compareDigests(const std::vector<TableDigest>& expected,
                    const std::vector<TableDigest>& actual);

}  // namespace jet::compact
