#include "jet/db/Catalog.h"

#include <algorithm>
#include <cctype>
#include "jet/db/Database.h"
#include "jet/db/TableScan.h"
#include "jet/db/Value.h"
#include "jet/format/DataPage.h"
#include "jet/format/Row.h"
#include "jet/util/Text.h"

namespace jet {

namespace {

// f_<32 hex digits>_<column>: the table that holds a multi-valued or
// attachment column's values, which Access flags as a system object.
bool complexValueTable(const std::string& name) {
  constexpr size_t kGuid = 32, kPrefix = 2 + kGuid + 1;
  if (name.size() <= kPrefix || name.compare(0, 2, "f_") != 0 || name[kPrefix - 1] != '_')
    return false;
  return std::all_of(name.begin() + 2, name.begin() + 2 + kGuid,
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

bool systemName(const std::string& name) {
  return (name.size() >= 4 && sameName(name.substr(0, 4), "MSys")) || complexValueTable(name);
}

bool CatalogEntry::system() const { return systemName(name) || (flags & kSystemFlags) != 0; }

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

namespace {

// The catalog's columns, found by name.
struct CatalogColumns {
  explicit CatalogColumns(const TableDef& def)
      : id(def.findColumn("Id")),
        parent(def.findColumn("ParentId")),
        name(def.findColumn("Name")),
        type(def.findColumn("Type")),
        flags(def.findColumn("Flags")) {
    if (!id || !name || !type || id->type != column_type::kLong ||
        type->type != column_type::kInteger)
      throwCorrupt("the catalog (MSysObjects) lacks its Id, Name or Type column");
  }
  const Column *id, *parent, *name, *type, *flags;
};

CatalogEntry decodeEntry(const Database& db, const TableDef& def, const CatalogColumns& c,
                         ByteView bytes, RowPtr at) {
  const RowFields fields(def, db.jet4(), bytes);
  Value v;
  const auto read = [&](const Column* col) -> Value& {
    decodeValue(db, *col, fields.field(*col), v);
    return v;
  };
  CatalogEntry e;
  e.headerPage = at.page;
  e.headerRow = at.row;
  e.id = static_cast<int32_t>(read(c.id).integer);
  if (c.parent) e.parentId = static_cast<int32_t>(read(c.parent).integer);
  e.name = read(c.name).text;
  e.type = static_cast<int16_t>(read(c.type).integer);
  if (c.flags) e.flags = static_cast<uint32_t>(read(c.flags).integer);
  return e;
}

}  // namespace

Catalog readCatalog(const Database& db) {
  const TableDef& def = db.tableDef(2);
  const CatalogColumns columns(def);
  Catalog cat;
  TableScan scan(db, def);
  RawRow row;
  while (scan.next(row))
    cat.entries.push_back(decodeEntry(db, def, columns, row.bytes, row.header));
  return cat;
}

Catalog readableCatalog(const Database& db) {
  const TableDef& def = db.tableDef(2);
  const CatalogColumns columns(def);
  Catalog cat;
  const TableScan scan(db, def);
  for (uint32_t pg : scan.pages()) {
    try {
      const DataPage page(db.page(pg), db.format());
      if (page.owner() != 2) continue;
      for (uint16_t r = 0; r < std::min<uint16_t>(page.rowCount(), 256); ++r) {
        if (page.slotDeleted(r)) continue;
        const RowPtr at{pg, static_cast<uint8_t>(r)};
        try {
          cat.entries.push_back(decodeEntry(db, def, columns, readRow(db.pages(), at).bytes, at));
        } catch (const Corrupt&) {
          // a row that cannot be read: its table is found by its definition
        }
      }
    } catch (const Corrupt&) {
      // a page that cannot be read, as a torn last one
    }
  }
  return cat;
}

CatalogTrace catalogTraceOf(const Database& db, const std::vector<uint32_t>& pages, uint32_t tdef) {
  CatalogTrace out;
  const TableDef& def = db.tableDef(2);
  const CatalogColumns columns(def);
  for (uint32_t pg : pages) {
    try {
      const DataPage page(db.page(pg), db.format());
      for (uint16_t r = 0; r < std::min<uint16_t>(page.rowCount(), 256); ++r) {
        const RowPtr at{pg, static_cast<uint8_t>(r)};
        try {
          const RowSlot slot = page.slotDeleted(r) ? page.slot(r) : readRow(db.pages(), at);
          CatalogEntry e = decodeEntry(db, def, columns, slot.bytes, at);
          if (e.id != static_cast<int32_t>(tdef)) continue;
          if (!page.slotDeleted(r) && !out.live) out.live = std::move(e);
          if (page.slotDeleted(r) && out.deletedName.empty()) out.deletedName = e.name;
        } catch (const Corrupt&) {
          // a slot that is no catalog row
        }
      }
    } catch (const Corrupt&) {
      // a page that is no data page any more
    }
  }
  return out;
}

}  // namespace jet
