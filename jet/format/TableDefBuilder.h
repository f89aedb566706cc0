#pragma once

// The writer beside readTableDef: a one-page table definition from its
// columns, indexes and memo/OLE maps, laid out section by section as
// TableDef.h lists them, with the constants Access writes in every file.

#include <cstdint>
#include <vector>

#include "jet/format/Format.h"
#include "jet/format/IndexKey.h"
#include "jet/format/TableDef.h"

namespace jet {

// t's page as stored: its tableType, counts, map pointers, columns (number,
// type, flags, offsets, length; every one under `order`), real indexes
// (columns, flags, map, root), logical indexes and memo/OLE maps, in the
// order given. Its length and free space are worked out; the offsets and
// counts t keeps are not read. Throws Corrupt when it does not fit one page.
std::vector<uint8_t> tableDefPage(const TableDef& t, const Format& f, const SortOrder& order);

}  // namespace jet
