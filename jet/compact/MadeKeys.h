#pragma once

// The keys a table's rows make for each of its indexes, as compaction needs
// them: checksums in one pass over the rows, to tell whether a stored index
// can be kept; and, for one that cannot, every entry again, sorted within a
// memory budget, to write it afresh.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "jet/compact/Digest.h"
#include "jet/compact/ExternalSort.h"
#include "jet/format/TableDef.h"

namespace jet {
class Database;
}

namespace jet::compact {

struct MadeKeys {
  // Per real index: why its keys cannot be made here (a sort order or type
  // without key tables, keys Access may cut otherwise, a row that cannot be
  // read), else nullopt and the checksums of its entries.
  std::vector<std::optional<std::string>> cannot;
  std::vector<Multiset> entries;  // of entryChecksum(key, position)
};

// live: the header slots of the rows (RowPtr raw, ascending), positions are
// their indexes. tick(done) is called for every row.
MadeKeys makeKeys(const Database& db, const TableDef& def, const std::vector<uint32_t>& live,
                  const std::function<void(double)>& tick);

// Adds every entry of index k made from the rows to sorter, each row named
// by (*pointer)[position], a RowPtr raw, or by its position when pointer is
// null. The keys can be made: makeKeys said so.
void addMadeEntries(const Database& db, const TableDef& def, size_t k,
                    const std::vector<uint32_t>& live, const std::vector<uint32_t>* pointer,
                    ExternalSort& sorter, const std::function<void(double)>& tick);

}  // namespace jet::compact
