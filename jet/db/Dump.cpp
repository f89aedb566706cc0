#include "jet/db/Dump.h"

#include "jet/db/Database.h"
#include "jet/db/TableScan.h"
#include "jet/db/Value.h"

namespace jet {

uint64_t dumpTable(const Database& db, const CatalogEntry& entry, const LineSink& sink) {
  const TableDef& def = db.tableDef(entry.tdefPage());
  const std::vector<const Column*> order = def.columnsInOrder();
  std::vector<size_t> slot;  // order position -> index into def.columns
  std::vector<std::string> keys;
  for (const Column* c : order) {
    slot.push_back(static_cast<size_t>(c - def.columns.data()));
    std::string key;
    appendJsonString(c->name, key);
    keys.push_back(key + ":");
  }
  std::string prefix = "{\"table\":";
  appendJsonString(entry.name, prefix);
  prefix += ",\"row\":{";
  TableScan scan(db, def);
  RawRow row;
  std::vector<Field> fields;
  Value value;
  std::string line;
  uint64_t rows = 0;
  while (scan.next(row)) {
    RowFields(def, db.jet4(), row.bytes).all(fields);
    line = prefix;
    for (size_t k = 0; k < order.size(); ++k) {
      if (k) line.push_back(',');
      line += keys[k];
      decodeValue(db, *order[k], fields[slot[k]], value);
      appendJson(value, line);
    }
    line += "}}\n";
    sink(line);
    ++rows;
  }
  return rows;
}

}  // namespace jet
