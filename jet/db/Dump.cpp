#include "jet/db/Dump.h"

#include "jet/db/Database.h"
#include "jet/db/TableScan.h"
#include "jet/db/Value.h"

namespace jet {
namespace {

// A page with no live row may still be a data page of the table (all its
// rows deleted); anything else there was passed over by the scan.
bool dataPageOf(const Page& p, const TableDef& def) {
  const ByteView b = p.bytes();
  return b.u8(0) == page_type::kData && b.u32(4) == def.firstPage;
}

std::vector<uint32_t> unreadPages(const Database& db, const TableDef& def,
                                  const std::vector<uint32_t>& listed,
                                  const std::vector<uint32_t>& withRows) {
  std::vector<uint32_t> unread;
  size_t next = 0;  // withRows is in scan order, a subsequence of listed
  for (uint32_t pg : listed) {
    if (next < withRows.size() && withRows[next] == pg) {
      ++next;
      continue;
    }
    if (!dataPageOf(db.page(pg), def)) unread.push_back(pg);
  }
  return unread;
}

}  // namespace

TableDumped dumpTable(const Database& db, const CatalogEntry& entry, const LineSink& sink) {
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
  TableDumped done;
  std::vector<uint32_t> withRows;
  while (scan.next(row)) {
    if (withRows.empty() || withRows.back() != row.header.page) withRows.push_back(row.header.page);
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
    ++done.rows;
  }
  done.unreadPages = unreadPages(db, def, scan.pages(), withRows);
  return done;
}

}  // namespace jet
