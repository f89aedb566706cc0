#pragma once

// Which rows of a table can be read, and what is known of those that cannot:
// salvage leaves them out, plain compaction refuses them.

#include <optional>
#include <string>
#include <vector>

#include "jet/Engine.h"
#include "jet/format/TableDef.h"

namespace jet {
class Database;
class PageCensus;
}  // namespace jet

namespace jet::compact {

// Why plain compaction cannot copy a table without losing rows that some
// evidence says it holds.
struct Refusal {
  uint32_t page = 0;
  std::string what;
};

struct TableRows {
  std::vector<uint32_t> live;       // header slots (RowPtr raw) of the rows to copy, ascending
  std::vector<RowsLost> lost;       // per page, ascending
  std::vector<RowsLost> recovered;  // salvage: rows of pages the table's map does not list
  std::optional<Refusal> refusal;   // plain compaction: rows it would lose
};

// The table's live rows. Pages of its owned map that are no data page of it
// are lost where an index names rows on them (counted from the entries).
// The census adds the evidence the table's own structures may have lost:
// data pages naming the table that its map does not list, and the stored
// row count. Without salvage, rows that evidence names and that cannot be
// copied give a refusal. With salvage every live slot is read too, its
// overflow target and its fields; those that fail are lost, pages whose row
// directory cannot be read are lost as a whole, rows of unlisted pages are
// recovered, and rows the count names beyond those found are lost, counted.
// Throws Corrupt for damage it does not pass over.
TableRows readableRows(const Database& db, const TableDef& def, const std::string& table,
                       const PageCensus& census, bool salvage);

// DST.lost.txt: a line per lost row (or emptied value) that can be named, a
// line per page whose rows cannot be, the structures taken from the
// template and those made afresh, then a line per page of rows kept that
// the table's structures did not reach.
std::string lostReport(const CompactResult& result);

}  // namespace jet::compact
