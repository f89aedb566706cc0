#pragma once

// Rows as JSON lines, the form `jetdb dump` prints:
//   {"table":"NAME","row":{"COLUMN":VALUE,...}}
// Columns in their defined order; values as appendJson writes them.

#include <cstdint>
#include <functional>
#include <string>

namespace jet {

class Database;
struct CatalogEntry;

using LineSink = std::function<void(const std::string& line)>;

// Decodes every live row of `table` (long values resolved) and hands each
// line, newline included, to `sink`. Returns the number of rows. Throws
// Corrupt on damage met on the way.
uint64_t dumpTable(const Database& db, const CatalogEntry& table, const LineSink& sink);

}  // namespace jet
