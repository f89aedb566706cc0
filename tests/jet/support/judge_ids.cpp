#include "jet/support/judge_ids.h"

#include <algorithm>

#include "jet/support/jet_testing.h"

namespace jettest {
namespace {

// Name -> Id of each local table (Type 1), as mdb-export prints MSysObjects.
std::map<std::string, std::string> tableIds(const std::string& path) {
  const CommandResult r = run({"mdb-export", path, "MSysObjects"});
  const auto rows = parseCsv(r.out);
  std::map<std::string, std::string> out;
  if (rows.empty()) return out;
  const auto col = [&](const char* name) {
    return std::find(rows[0].begin(), rows[0].end(), name) - rows[0].begin();
  };
  const auto id = col("Id"), name = col("Name"), type = col("Type");
  for (size_t i = 1; i < rows.size(); ++i) {
    const auto& row = rows[i];
    if (std::max({id, name, type}) < std::ssize(row) && row[type] == "1") out[row[name]] = row[id];
  }
  return out;
}

// Splits CSV text into records and fields, each field as printed (quotes
// kept), so that a record joined again is the text it came from.
std::vector<std::vector<std::string>> rawFields(const std::string& csv) {
  std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
  bool quoted = false;
  for (const char c : csv) {
    if (c == '"') quoted = !quoted;
    if (!quoted && c == '\n') {
      records.emplace_back(1);
    } else if (!quoted && c == ',') {
      records.back().emplace_back();
    } else {
      records.back().back() += c;
    }
  }
  if (records.back() == std::vector<std::string>(1)) records.pop_back();
  return records;
}

}  // namespace

IdMap movedTableIds(const std::string& source, const std::string& output) {
  const auto before = tableIds(source), after = tableIds(output);
  IdMap ids;
  for (const auto& [name, id] : before) {
    const auto it = after.find(name);
    if (it != after.end() && it->second != id) ids[id] = it->second;
  }
  return ids;
}

const std::map<std::string, std::vector<std::string>>& objectIdColumns() {
  static const std::map<std::string, std::vector<std::string>> all = {
      {"MSysObjects", {"Id", "ParentId"}}, {"MSysACEs", {"ObjectId"}},
      {"MSysQueries", {"ObjectId"}},       {"MSysNavPaneObjectIDs", {"Id"}},
      {"MSysNavPaneGroups", {"ObjectID"}}, {"MSysNavPaneGroupToObjects", {"ObjectID"}},
  };
  return all;
}

std::vector<std::string> mappedRecords(const std::string& csv, const std::string& table,
                                       const IdMap& ids) {
  auto records = rawFields(csv);
  const auto columns = objectIdColumns().find(table);
  std::vector<size_t> at;
  if (columns != objectIdColumns().end() && !records.empty())
    for (size_t i = 0; i < records[0].size(); ++i)
      if (std::count(columns->second.begin(), columns->second.end(), records[0][i]))
        at.push_back(i);
  std::vector<std::string> out;
  for (size_t r = 0; r < records.size(); ++r) {
    std::string line;
    for (size_t i = 0; i < records[r].size(); ++i) {
      const std::string& f = records[r][i];
      const auto to = ids.find(f);
      const bool mapped = r > 0 && to != ids.end() && std::count(at.begin(), at.end(), i);
      line += (i ? "," : "") + (mapped ? to->second : f);
    }
    out.push_back(line);
  }
  return out;
}

std::string idsJson(const IdMap& ids) {
  std::string json = "{\"columns\":{";
  for (const auto& [table, columns] : objectIdColumns()) {
    json += (json.back() == '{' ? "\"" : ",\"") + table + "\":[";
    for (size_t i = 0; i < columns.size(); ++i) json += (i ? ",\"" : "\"") + columns[i] + "\"";
    json += "]";
  }
  json += "},\"ids\":{";
  for (const auto& [from, to] : ids)
    json += (json.back() == '{' ? "\"" : ",\"") + from + "\":" + to;
  return json + "}}";
}

}  // namespace jettest
