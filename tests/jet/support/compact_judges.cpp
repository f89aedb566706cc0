#include "jet/support/compact_judges.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace jet::testing {

namespace {

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q.append("'\\''");
    else
      q.push_back(c);
  }
  return q + "'";
}

bool haveCommand(const std::string& name) {
  int status = 0;
  runCommand("command -v " + name + " >/dev/null 2>&1", &status);
  return status == 0;
}

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

std::string runCommand(const std::string& command, int* status) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) {
    *status = -1;
    return out;
  }
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = ::pclose(p);
  *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

TableDump mdbExportDump(const std::string& path) {
  TableDump dump;
  if (!haveCommand("mdb-export")) return dump;
  int status = 0;
  const std::string tables = runCommand("mdb-tables -S -1 " + quote(path) + " 2>&1", &status);
  if (status != 0) {
    dump["!error"] = {tables};
    return dump;
  }
  for (const std::string& table : lines(tables)) {
    if (table.empty()) continue;
    std::vector<std::string> rows = lines(
        runCommand("mdb-export -e -b hex " + quote(path) + " " + quote(table) + " 2>&1", &status));
    if (status != 0) rows.push_back("(mdb-export failed)");
    std::sort(rows.begin(), rows.end());
    dump[table] = std::move(rows);
  }
  return dump;
}

bool mdbReaderInstalled() {
  return haveCommand("node") &&
         std::ifstream(judgeDir() + "/node_modules/mdb-reader/package.json").good();
}

TableDump mdbReaderDump(const std::string& path, const std::string& password) {
  TableDump dump;
  if (!mdbReaderInstalled()) return dump;
  int status = 0;
  std::string cmd = "node ";
  cmd.append(quote(judgeDir() + "/dump.mjs")).append(" ").append(quote(path));
  if (!password.empty()) cmd.append(" ").append(quote(password));
  cmd.append(" 2>&1");
  const std::string out = runCommand(cmd, &status);
  if (status != 0) {
    dump["!error"] = {cut(out)};
    return dump;
  }
  // One JSON line per table: {"table":"name",...}
  for (const std::string& line : lines(out)) {
    const size_t start = line.find("\"table\":\"");
    const size_t end = line.find("\",", start + 9);
    if (start == std::string::npos || end == std::string::npos) continue;
    dump[line.substr(start + 9, end - start - 9)] = {line};
  }
  return dump;
}

void expectSameInJudges(const std::string& source, const std::string& output,
                        const std::string& connect) {
  const TableDump a = mdbExportDump(source);
  if (!a.empty()) compareDumps("mdb-export", a, mdbExportDump(output));
  std::string password;
  const auto at = connect.find("pwd=");
  if (at != std::string::npos) password = connect.substr(at + 4);
  const TableDump c = mdbReaderDump(source, password);
  if (!c.empty()) {
    EXPECT_FALSE(c.count("!error")) << "mdb-reader cannot read the source: " << c.at("!error")[0];
    compareDumps("mdb-reader", c, mdbReaderDump(output, password));
  }
}

}  // namespace jet::testing
