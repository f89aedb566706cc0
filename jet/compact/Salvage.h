#pragma once

// Which rows of a table can be read, and what is known of those that cannot:
// salvage leaves them out, plain compaction refuses them.

#include <string>
#include <vector>

#include "jet/Engine.h"
#include "jet/format/TableDef.h"

namespace jet {
class Database;
}

namespace jet::compact {

struct TableRows {
  std::vector<uint32_t> live;  // header slots (RowPtr raw) of the rows to copy, ascending
  std::vector<RowsLost> lost;  // per page, ascending
};

// The table's live rows. Pages of its owned map that are no data page of it
// are lost where an index names rows on them (counted from the entries).
// With salvage every live slot is read too, its overflow target and its
// fields; those that fail are lost, and pages whose row directory cannot be
// read are lost as a whole. Throws Corrupt for damage it does not pass over.
TableRows readableRows(const Database& db, const TableDef& def, const std::string& table,
                       bool salvage);

// DST.lost.txt: a line per lost row (or emptied value) that can be named, a
// line per page whose rows cannot be.
std::string lostReport(const std::vector<RowsLost>& lost);

}  // namespace jet::compact
