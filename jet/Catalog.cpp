#include "jet/Catalog.h"

#include "jet/Database.h"
#include "jet/RowReader.h"
#include "jet/Text.h"
#include "jet/Value.h"

namespace jet {

bool CatalogEntry::system() const {
  return name.rfind("MSys", 0) == 0 || (flags & 0x80000002u) != 0;
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
  if (!id || !name || !type)
    throwCorrupt("the catalog (MSysObjects) lacks its Id, Name or Type column");
  const auto index = [&](const Column* c) {
    return c ? static_cast<int>(c - def.columns.data()) : -1;
  };

  Catalog cat;
  RowDecoder decoder(db, def);
  TableScan scan(db, def);
  RawRow row;
  std::vector<Field> fields;
  Value v;
  while (scan.next(row)) {
    decoder.decode(row.bytes, fields);
    CatalogEntry e;
    e.headerPage = row.header.page;
    e.headerRow = row.header.row;
    decodeValue(db, *id, fields[index(id)], v);
    e.id = static_cast<int32_t>(v.integer);
    if (parent) {
      decodeValue(db, *parent, fields[index(parent)], v);
      e.parentId = static_cast<int32_t>(v.integer);
    }
    decodeValue(db, *name, fields[index(name)], v);
    e.name = v.text;
    decodeValue(db, *type, fields[index(type)], v);
    e.type = static_cast<int16_t>(v.integer);
    if (flags) {
      decodeValue(db, *flags, fields[index(flags)], v);
      e.flags = static_cast<uint32_t>(v.integer);
    }
    cat.entries.push_back(std::move(e));
  }
  return cat;
}

}  // namespace jet
