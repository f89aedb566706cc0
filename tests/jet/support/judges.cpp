#include "jet/support/judges.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "jet/support/jet_testing.h"

namespace jettest {
namespace {

std::string judgeDir() { return std::string(LW_SOURCE_DIR) + "/tests/judges"; }

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

std::string cut(const std::string& s) { return s.size() > 240 ? s.substr(0, 240) + "..." : s; }

void compareDumps(const char* judge, const TableDump& a, const TableDump& b) {
  for (const auto& [table, rows] : a) {
    auto it = b.find(table);
    if (it == b.end()) {
      ADD_FAILURE() << judge << ": table " << table << " is missing from the output";
      continue;
    }
    if (rows == it->second) continue;
    size_t i = 0;
    while (i < rows.size() && i < it->second.size() && rows[i] == it->second[i]) ++i;
    ADD_FAILURE() << judge << ": table " << table << " differs at row " << i << " of "
                  << rows.size() << "/" << it->second.size()
                  << "\n  source: " << (i < rows.size() ? cut(rows[i]) : "(none)")
                  << "\n  output: " << (i < it->second.size() ? cut(it->second[i]) : "(none)");
  }
  for (const auto& [table, rows] : b)
    if (!a.count(table)) ADD_FAILURE() << judge << ": table " << table << " appeared in the output";
}

}  // namespace

std::string missingJudges() {
  if (!haveProgram("mdb-export") || !haveProgram("mdb-tables"))
    return "mdbtools (mdb-export) is not installed";
  if (!haveProgram("node") || !std::ifstream(judgeDir() + "/node_modules/mdb-reader/package.json"))
    return "mdb-reader is not installed (run scripts/install-deps.sh)";
  return "";
}

TableDump mdbExportDump(const std::string& path, const IdMap& ids) {
  TableDump dump;
  const CommandResult tables = run({"mdb-tables", "-S", "-1", path});
  if (tables.exitCode != 0) {
    dump["!error"] = {tables.out + tables.err};
    return dump;
  }
  for (const std::string& table : lines(tables.out)) {
    if (table.empty()) continue;
    const CommandResult r = run({"mdb-export", "-e", "-b", "hex", path, table});
    std::vector<std::string> rows =
        objectIdColumns().count(table) ? mappedRecords(r.out, table, ids) : lines(r.out);
    if (r.exitCode != 0) rows.push_back("(mdb-export failed: " + cut(r.err) + ")");
    std::sort(rows.begin(), rows.end());
    dump[table] = std::move(rows);
  }
  return dump;
}

TableDump mdbReaderDump(const std::string& path, const std::string& password, const IdMap& ids) {
  TableDump dump;
  std::vector<std::string> argv{"node", judgeDir() + "/dump.mjs", path};
  if (!password.empty()) argv.push_back(password);
  if (!ids.empty()) argv.insert(argv.end(), {"--ids", idsJson(ids)});
  const CommandResult r = run(argv);
  if (r.exitCode != 0) {
    dump["!error"] = {cut(r.out + r.err)};
    return dump;
  }
  // One JSON line per table: {"table":"name",...}
  for (const std::string& line : lines(r.out)) {
    const size_t start = line.find("\"table\":\"");
    const size_t end = line.find("\",", start + 9);
    if (start == std::string::npos || end == std::string::npos) continue;
    dump[line.substr(start + 9, end - start - 9)] = {line};
  }
  return dump;
}

void expectSameInJudges(const std::string& source, const std::string& output,
                        const std::string& password) {
  const IdMap ids = movedTableIds(source, output);
  compareDumps("mdb-export", mdbExportDump(source, ids), mdbExportDump(output));
  const TableDump c = mdbReaderDump(source, password, ids);
  EXPECT_FALSE(c.count("!error")) << "mdb-reader cannot read the source: " << c.at("!error")[0];
  compareDumps("mdb-reader", c, mdbReaderDump(output, password));
}

}  // namespace jettest
