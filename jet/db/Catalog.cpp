#include "jet/db/Catalog.h"

#include "jet/db/Database.h"
#include "jet/db/TableScan.h"
#include "jet/db/Value.h"
#include "jet/format/Row.h"
#include "jet/util/Text.h"

namespace jet {

bool CatalogEntry::system() const {
  return (name.size() >= 4 && sameName(name.substr(0, 4), "MSys")) || (flags & 0x80000002u) != 0;
}

std::vector<const CatalogEntry*> Catalog::tables(bool withSystem) const {
  std::vector<const CatalogEntry*> out;
  for (const CatalogEntry& e : entries)
    if (e.isTable() && (withSystem || !e.system())) out.push_back(&e);
  return out;
}

const CatalogEntry* Catalog::findTable(const std::string& name) const {
  for (const CatalogEntry& e : entries)
    if (e.isTable() && sameName(e.name, name)) return &e;
  return nullptr;
}

Catalog readCatalog(const Database& db) {
  const TableDef& def = db.tableDef(2);
  const Column* id = def.findColumn("Id");
  const Column* parent = def.findColumn("ParentId");
  const Column* name = def.findColumn("Name");
  const Column* type = def.findColumn("Type");
  const Column* flags = def.findColumn("Flags");
  if (!id || !name || !type || id->type != column_type::kLong ||
      type->type != column_type::kInteger)
    throwCorrupt("the catalog (MSysObjects) lacks its Id, Name or Type column");

  Catalog cat;
  TableScan scan(db, def);
  RawRow row;
  Value v;
  const auto read = [&](const RowFields& fields, const Column* c) -> Value& {
    decodeValue(db, *c, fields.field(*c), v);
    return v;
  };
  while (scan.next(row)) {
    const RowFields fields(def, db.jet4(), row.bytes);
    CatalogEntry e;
    e.headerPage = row.header.page;
    e.headerRow = row.header.row;
    e.id = static_cast<int32_t>(read(fields, id).integer);
    if (parent) e.parentId = static_cast<int32_t>(read(fields, parent).integer);
    e.name = read(fields, name).text;
    e.type = static_cast<int16_t>(read(fields, type).integer);
    if (flags) e.flags = static_cast<uint32_t>(read(fields, flags).integer);
    cat.entries.push_back(std::move(e));
  }
  return cat;
}

}  // namespace jet
