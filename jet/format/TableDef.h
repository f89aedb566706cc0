#pragma once

// A table definition (TDEF): the logical buffer put together from its page
// chain (the first page whole, each continuation page from byte 8), and the
// columns, indexes and usage-map locations parsed from it. The sections, in
// order: header, per-index statistics, column descriptors, column names,
// real-index definitions, logical-index definitions, logical-index names,
// memo/OLE usage maps up to FF FF. Offsets kept here point into `buffer`, so
// a writer can patch fields in place.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jet/format/Format.h"
#include "jet/format/PageSource.h"
#include "jet/util/Bytes.h"

namespace jet {

namespace column_type {
constexpr uint8_t kBoolean = 0x01;
constexpr uint8_t kByte = 0x02;
constexpr uint8_t kInteger = 0x03;
constexpr uint8_t kLong = 0x04;
constexpr uint8_t kCurrency = 0x05;
constexpr uint8_t kSingle = 0x06;
constexpr uint8_t kDouble = 0x07;
constexpr uint8_t kDateTime = 0x08;
constexpr uint8_t kBinary = 0x09;
constexpr uint8_t kText = 0x0A;
constexpr uint8_t kOle = 0x0B;
constexpr uint8_t kMemo = 0x0C;
constexpr uint8_t kGuid = 0x0F;
constexpr uint8_t kNumeric = 0x10;
}  // namespace column_type

namespace column_flag {
constexpr uint8_t kFixed = 0x01;
constexpr uint8_t kNullable = 0x02;
constexpr uint8_t kAutoNumber = 0x04;
constexpr uint8_t kReplication = 0x10;
constexpr uint8_t kAutoGuid = 0x40;
constexpr uint8_t kHyperlink = 0x80;
}  // namespace column_flag

namespace index_flag {
constexpr uint8_t kUnique = 0x01;
constexpr uint8_t kIgnoreNulls = 0x02;
constexpr uint8_t kRequired = 0x08;
}  // namespace index_flag

struct Column {
  std::string name;  // UTF-8
  uint8_t type = 0;
  uint16_t number = 0;    // null-mask bit, gaps of deleted columns included
  uint16_t varIndex = 0;  // index into the row's variable-offset table
  uint8_t flags = 0;
  uint8_t extFlags = 0;  // Jet 4: 0x01 text compression allowed
  uint16_t fixedOffset = 0;
  uint16_t length = 0;               // bytes; 0 for memo/OLE
  uint8_t precision = 0, scale = 0;  // numeric
  size_t descriptorOffset = 0;       // into TableDef::buffer

  bool fixed() const { return (flags & column_flag::kFixed) != 0; }
  bool longValue() const { return type == column_type::kMemo || type == column_type::kOle; }
};

struct IndexColumn {
  uint16_t column = 0;  // Column::number
  bool ascending = true;
};

// One index tree ("real" index).
struct RealIndex {
  uint32_t number = 0;  // position in the TDEF
  std::vector<IndexColumn> columns;
  RowPtr usageMap;
  uint32_t rootPage = 0;
  uint8_t flags = 0;
  uint32_t uniqueCount = 0;     // statistic, not an invariant
  size_t countOffset = 0;       // statistic block in TableDef::buffer
  size_t definitionOffset = 0;  // definition in TableDef::buffer
};

// A named index as the user sees it; several may share one tree.
struct LogicalIndex {
  std::string name;
  uint32_t number = 0;
  uint32_t realIndex = 0;
  uint8_t relationRole = 0;  // foreign keys: 1 primary side, 2 foreign side
  int32_t relatedIndex = -1;
  uint32_t relatedTable = 0;  // TDEF page of the other table
  uint8_t cascadeUpdates = 0, cascadeDeletes = 0;
  uint8_t type = 0;  // 0 normal, 1 primary key, 2 foreign key
  size_t definitionOffset = 0;

  bool primaryKey() const { return type == 1; }
  bool foreignKey() const { return type == 2; }
};

// The usage maps of a memo/OLE column's LVAL pages.
struct LongValueMap {
  uint16_t column = 0;  // Column::number
  RowPtr owned, free;
  size_t offset = 0;  // entry in TableDef::buffer
};

struct TableDef {
  uint32_t firstPage = 0;
  std::vector<uint32_t> pages;        // the TDEF chain, first page first
  std::vector<uint32_t> pageHeaders;  // bytes 0..3 of each page, as stored
  std::vector<uint8_t> buffer;        // logical buffer: page 1 whole, continuations minus 8 bytes

  uint32_t length = 0;   // tdef_len
  uint32_t numRows = 0;  // as stored; may be stale
  uint32_t autoNumber = 0;
  size_t numRowsOffset = 0, autoNumberOffset = 0;  // into buffer
  uint8_t tableType = 0;                           // 'N' user, 'S' system
  uint16_t maxCols = 0, numVarCols = 0, numCols = 0;
  uint32_t numIdx = 0, numRealIdx = 0;
  RowPtr ownedMap, freeMap;
  size_t ownedMapOffset = 0, freeMapOffset = 0;
  size_t parsedLength = 0;  // where parsing the sections ended

  std::vector<Column> columns;  // descriptor (storage) order
  std::vector<RealIndex> realIndexes;
  std::vector<LogicalIndex> logicalIndexes;
  std::vector<LongValueMap> longValueMaps;

  // Columns sorted by column number, as a user lists them.
  std::vector<const Column*> columnsInOrder() const;
  const Column* findColumn(const std::string& name) const;  // case-insensitive ASCII
  const Column* columnByNumber(uint16_t number) const;
  // The first logical index over `index`, or nullptr.
  const LogicalIndex* logicalIndexOf(const RealIndex& index) const;
  // The position in realIndexes of the primary key's index, or SIZE_MAX.
  size_t primaryKeyIndex() const;
};

// Why the columns cannot describe a row ("Column 'N' is Long but 1 bytes
// wide", "Columns 'A' and 'B' share bytes of the row"), or nullopt.
std::optional<std::string> layoutFault(const TableDef& def);

// A column name another column of the table has too (case aside), or
// nullopt: a reader asking for it by name gets one of them only.
std::optional<std::string> sharedColumnName(const TableDef& def);

// Reads the TDEF chain starting at `firstPage` and parses it. Throws Corrupt
// for a wrong page type, a loop in the chain, sections that do not fit within
// tdef_len, or columns whose numbers collide or lie outside max_cols.
TableDef readTableDef(PageSource& pages, uint32_t firstPage);

// Parses `t.buffer`, put together from the chain in `t.pages`. Throws as
// readTableDef does.
void parseTableDef(TableDef& t, const Format& f);

}  // namespace jet
