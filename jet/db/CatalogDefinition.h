#pragma once

// MSysObjects' definition as Jet lays it out in every file of a version:
// 17 columns in a fixed order, an index on Id and one on ParentId and Name.
// Salvage makes it afresh where the file's own (page 2) is lost.

#include <cstdint>
#include <vector>

#include "jet/format/Header.h"
#include "jet/format/TableDef.h"

namespace jet {

class Database;

// The definition at page 2 for the header's version and sort order. Its
// usage maps and index trees name nothing: salvage finds the rows by their
// pages' owner and makes the indexes again from them.
TableDef catalogDefinition(const Header& header);

// Whether at least half the live rows on the pages read as catalog rows
// under def: as many columns stored as it has, the variable part where its
// fixed columns end, an Id, a Type and a Name of the catalog's types. True
// for pages with no rows.
bool catalogRowsFit(const Database& db, const TableDef& def, const std::vector<uint32_t>& pages);

}  // namespace jet
