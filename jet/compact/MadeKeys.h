#pragma once

// The keys a table's rows make for each of its indexes, as compaction needs
// them: checksums in one pass over the rows, to tell whether a stored index
// can be kept; and, for one that cannot, every entry again, sorted within a
// memory budget, to write it afresh.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "jet/compact/Digest.h"
#include "jet/compact/ExternalSort.h"
#include "jet/db/RowMap.h"
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
  // Per real index: the positions of rows whose text holds a character of
  // uncertain code, with their entries' checksums.
  std::vector<std::unordered_map<uint32_t, uint64_t>> inDoubt;
};

// live: the header slots of the rows (RowPtr raw, ascending), positions are
// their indexes. tick(done) is called for every row.
MadeKeys makeKeys(const Database& db, const TableDef& def, const std::vector<uint32_t>& live,
                  const std::function<void(double)>& tick);

// True when the stored entries of index k, in order and undamaged, differ
// from the rows' only in keys in doubt: with the rows' own entries standing
// in for those, they are the rows' entries. Such an index is kept as it is.
bool differsOnlyInDoubt(const Database& db, const TableDef& def, size_t k, const RowMap& rows,
                        const MadeKeys& made);

// Adds every entry of index k made from the rows to sorter, each row named
// by (*pointer)[position], a RowPtr raw, or by its position when pointer is
// null. The keys can be made: makeKeys said so.
void addMadeEntries(const Database& db, const TableDef& def, size_t k,
                    const std::vector<uint32_t>& live, const std::vector<uint32_t>* pointer,
                    ExternalSort& sorter, const std::function<void(double)>& tick);

}  // namespace jet::compact
