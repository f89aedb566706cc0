#pragma once

// Rows as JSON lines, the form `jetdb dump` prints:
//   {"table":"NAME","row":{"COLUMN":VALUE,...}}
// Columns in their defined order; values as appendJson writes them.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace jet {

class Database;
struct CatalogEntry;

using LineSink = std::function<void(const std::string& line)>;

struct TableDumped {
  uint64_t rows = 0;
  // Pages the table's map lists that are no data page of it (zeroed or
  // overwritten): whatever rows they held were not handed over.
  std::vector<uint32_t> unreadPages;
};

// Decodes every live row of `table` (long values resolved) and hands each
// line, newline included, to `sink`. Throws Corrupt on damage met on the way.
TableDumped dumpTable(const Database& db, const CatalogEntry& table, const LineSink& sink);

}  // namespace jet
