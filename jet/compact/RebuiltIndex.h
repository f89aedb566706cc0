#pragma once

// An index made again from its table's rows, for compaction to write when
// the stored one cannot be read or does not match its rows. Salvage calls it
// too, for tables that lost rows on the way.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "jet/compact/SourceIndex.h"

namespace jet::compact {

// Makes the entries of index k of def from `rows`, the header slots (RowPtr
// raw values, ascending) of the rows as they are copied: out.entries[i].row
// is a position in `rows`, entries sorted by key bytes, then position.
// Returns why it cannot (a sort order or column type without key tables
// here, or text keys longer than Access is known to cut), out then
// unspecified. Throws Corrupt for a row or memo value that cannot be read.
// `tick` is called for every row: a place to let a cancel through.
// inDoubt, when given, receives the positions of rows whose keys hold a
// character of uncertain code.
std::optional<std::string> rebuildIndex(const Database& db, const TableDef& def, size_t k,
                                        const std::vector<uint32_t>& rows, SourceIndex& out,
                                        const std::function<void()>& tick = {},
                                        std::vector<uint32_t>* inDoubt = nullptr);

// The name of the first logical index on real index k, else "index k".
std::string indexName(const TableDef& def, size_t k);

// True when both hold the same entries in the same order.
bool sameEntries(const SourceIndex& a, const SourceIndex& b);

// True when the stored entries are in order and name the same rows as the
// made ones with the same keys, but for keys of rows in inDoubt (positions,
// ascending): such an index is kept as it is.
bool sameEntriesButInDoubt(const SourceIndex& stored, const SourceIndex& made,
                           const std::vector<uint32_t>& inDoubt);

}  // namespace jet::compact
