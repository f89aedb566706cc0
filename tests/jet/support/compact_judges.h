#pragma once

// Independent readers as judges: mdb-export (mdbtools) and the npm package
// mdb-reader (tests/judges). Each reads both files; every table must hold the
// same rows (row order aside: compaction puts rows in primary-key order).

#include <map>
#include <string>
#include <vector>

namespace jet::testing {

// Output of a shell command; exit status in *status.
std::string runCommand(const std::string& command, int* status);

// Table name -> sorted rows as the judge prints them. Empty when the judge
// is not installed; a table "!error" holds a failure to read.
using TableDump = std::map<std::string, std::vector<std::string>>;
TableDump mdbExportDump(const std::string& path);
TableDump mdbReaderDump(const std::string& path, const std::string& password);
bool mdbReaderInstalled();

// Adds a gtest failure naming the table when a judge reads the two files
// differently or cannot read the output.
void expectSameInJudges(const std::string& source, const std::string& output,
                        const std::string& connect);

}  // namespace jet::testing
