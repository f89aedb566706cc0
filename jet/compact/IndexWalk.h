#pragma once

// A source index's stored entries walked twice instead of held: once to
// judge them (every entry a live row, once; in order; which keys), then, if
// they are kept, again to write them with the rows' new places. The leaves
// come in key order, so only runs of equal keys need sorting on the way out.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "jet/compact/Digest.h"
#include "jet/db/RowMap.h"
#include "jet/format/IndexBuilder.h"
#include "jet/format/IndexPage.h"
#include "jet/format/TableDef.h"

namespace jet {
class Database;
}

namespace jet::compact {

struct StoredIndex {
  std::optional<std::string> damage;  // why the entries cannot be used as they are
  bool ordered = true;                // strictly by key, then row
  Multiset entries;                   // of entryChecksum(key, position)
};

// The position of the row entry e of index k names, which must be live and
// named by no entry before (seen, one flag a position). Throws Corrupt.
uint32_t rowNamedOnce(const RowMap& rows, std::vector<bool>& seen, size_t k, const IndexEntry& e);

// tick(done) is called for every entry, done the share of the rows so far.
using Tick = std::function<void(double)>;

// Judges index k of def. order, when given, receives the positions of the
// rows the entries name, in the stored order (the walk stops at damage).
StoredIndex judgeStoredIndex(const Database& db, const TableDef& def, size_t k, const RowMap& rows,
                             const Tick& tick, std::vector<uint32_t>* order = nullptr);

// Every entry of a judged index with its row's new place (newPlace: RowPtr
// raw per position), in entryLess order when the index was ordered, in the
// stored order otherwise.
void emitStoredIndex(const Database& db, const TableDef& def, size_t k, const RowMap& rows,
                     const std::vector<uint32_t>& newPlace, bool sortRuns, const Tick& tick,
                     const std::function<void(const EntryRef&)>& emit);

}  // namespace jet::compact
