#pragma once

// The deep part of the integrity check: every index's keys made again from
// its table's rows and compared, byte for byte and in order, with the entries
// the index holds. Damage the ordinary check reports (unreadable rows, broken
// index trees) is left to it: such a table or index is not compared here.

namespace jet {

struct CatalogEntry;
struct CheckContext;

// Compares every index of the table, adding to report.indexEntriesChecked.
void deepCheckTable(CheckContext& c, const CatalogEntry& table);

}  // namespace jet
