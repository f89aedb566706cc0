#pragma once

// One index's entries as the source holds them, key bytes and the position
// of the row each names, ready to be written again in order with the rows'
// new places.

#include <cstdint>
#include <string>
#include <vector>

#include "jet/db/RowKeys.h"
#include "jet/db/RowMap.h"
#include "jet/format/IndexBuilder.h"
#include "jet/format/TableDef.h"

namespace jet {
class Database;
}

namespace jet::compact {

class Pacer;

struct SourceIndex {
  std::vector<uint8_t> keys;
  using Entry = KeyedEntries::Entry;  // row: position among the table's live rows
  std::vector<Entry> entries;

  // Reads index k of def (storage reused). Every entry must name a live row,
  // each row at most once, and every row must be there unless the index
  // leaves out nulls. Throws Corrupt otherwise.
  void read(const Database& db, const TableDef& def, size_t k, const RowMap& rows, Pacer& pacer);
};

// Sorts entries (key bytes, 4-byte big-endian pointer behind each) and
// returns how many distinct keys they hold. The source leaves come in key
// order, so after the pointers were remapped only runs of equal keys can be
// out of order; a full sort remains for a source that was not in order.
uint32_t sortEntries(std::vector<EntryRef>& refs);

}  // namespace jet::compact
