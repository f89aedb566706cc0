#pragma once

// Table Ids as the judges see them: a compacted copy may move table
// definitions, and a table's Id is its definition's page, so system rows
// of source and copy compare only once the source's Ids are mapped.

#include <map>
#include <string>
#include <vector>

namespace jettest {

// Source Id -> copy Id, decimal as both judges print them, for every table
// whose Id changed (matched by name).
using IdMap = std::map<std::string, std::string>;
IdMap movedTableIds(const std::string& source, const std::string& output);

// The system tables' columns that hold an MSysObjects Id, by table.
const std::map<std::string, std::vector<std::string>>& objectIdColumns();

// mdb-export's CSV of one table as records (header first, each as printed,
// fields spanning lines kept whole), the table's Id columns mapped by ids.
std::vector<std::string> mappedRecords(const std::string& csv, const std::string& table,
                                       const IdMap& ids);

// The map and columns as JSON, for tests/judges/dump.mjs.
std::string idsJson(const IdMap& ids);

}  // namespace jettest
