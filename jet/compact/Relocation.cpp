#include "jet/compact/Relocation.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "jet/db/Database.h"
#include "jet/db/TableScan.h"
#include "jet/format/DataPage.h"
#include "jet/format/Row.h"

namespace jet::compact {
namespace {

// The system tables' columns whose names say they may hold an Id: those
// holding an MSysObjects Id, and those numbering something of their own.
struct KnownColumn {
  const char* table;
  const char* column;
  bool objectId;
};
constexpr KnownColumn kKnown[] = {
    {"MSysObjects", "Id", true},
    {"MSysObjects", "ParentId", true},
    {"MSysACEs", "ObjectId", true},
    {"MSysACEs", "SID", false},  // a user's or group's security Id
    {"MSysQueries", "ObjectId", true},
    {"MSysNavPaneObjectIDs", "Id", true},
    {"MSysNavPaneGroupToObjects", "ObjectID", true},
    {"MSysNavPaneGroupToObjects", "Id", false},
    {"MSysNavPaneGroupToObjects", "GroupID", false},
    {"MSysNavPaneGroups", "ObjectID", true},
    {"MSysNavPaneGroups", "Id", false},
    {"MSysNavPaneGroups", "GroupCategoryID", false},
    // The pane's selected entry: an Id of MSysNavPaneGroupToObjects, whose
    // row names the object (in every file seen, one of the category's groups).
    {"MSysNavPaneGroupCategories", "SelectedObjectID", false},
    {"MSysNavPaneGroupCategories", "Id", false},
    {"MSysAccessObjects", "ID", false},
    {"MSysAccessStorage", "Id", false},
    {"MSysAccessStorage", "ParentId", false},
    {"MSysAccessXML", "Id", false},
    {"MSysAccessXML", "ObjectGuid", false},
    {"MSysIMEXSpecs", "SpecID", false},
    {"MSysIMEXColumns", "SpecID", false},
    {"MSysIMEXColumns", "Width", false},
    {"MSysNameMap", "GUID", false},
    // Numbers the map's own rows; a table is named by its GUID and name.
    {"MSysNameMap", "Id", false},
};

std::string lower(std::string s) {
  for (char& ch : s)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return s;
}

const KnownColumn* known(const std::string& table, const std::string& column) {
  for (const KnownColumn& k : kKnown)
    if (lower(k.table) == lower(table) && lower(k.column) == lower(column)) return &k;
  return nullptr;
}

// The columns of a system table holding object Ids (column numbers), or why
// the table is not understood.
std::optional<std::string> objectIdColumns(const TableDef& def, const std::string& table,
                                           std::vector<uint16_t>& out) {
  out.clear();
  if (lower(table).rfind("msys", 0) != 0) return std::nullopt;
  for (const Column& c : def.columns) {
    if (lower(c.name).find("id") == std::string::npos) continue;
    const KnownColumn* k = known(table, c.name);
    if (!k)
      return "column '" + c.name + "' of table '" + table +
             "' may hold a table Id and is not known here";
    if (!k->objectId) continue;
    // Variable Longs too (the navigation pane's): four bytes either way.
    if (c.type != column_type::kLong)
      return "column '" + c.name + "' of table '" + table + "' is not a Long";
    out.push_back(c.number);
  }
  for (const RealIndex& r : def.realIndexes)
    for (size_t i = 1; i < r.columns.size(); ++i)
      if (std::count(out.begin(), out.end(), r.columns[i].column))
        return "an index of table '" + table + "' holds an Id after its first column";
  return std::nullopt;
}

bool namesTable(const LogicalIndex& li) { return li.foreignKey() || li.relationRole != 0; }

// Calls f(value) for every non-null object-Id field of a system table.
template <typename F>
void forEachId(const Database& db, const TableDef& def, const std::vector<uint16_t>& columns, F f) {
  for (uint32_t raw : liveRows(db, def)) {
    const RowSlot row = readRow(db.pages(), RowPtr::fromRaw(raw));
    const RowFields fields(def, db.jet4(), row.bytes);
    for (uint16_t n : columns) {
      const Field v = fields.field(*def.columnByNumber(n));
      if (!v.null && v.bytes.size() == 4) f(v.bytes.u32(0));
    }
  }
}

// Salvage's tables whose catalog rows get Type table again: their Ids.
std::unordered_set<uint32_t> retypedIds(const std::vector<CatalogTable>& tables) {
  std::unordered_set<uint32_t> ids;
  for (const CatalogTable& t : tables)
    if (t.retyped) ids.insert(t.tdef);
  return ids;
}

}  // namespace

uint32_t Relocation::page(uint32_t oldPage) const {
  const auto it = pages_.find(oldPage);
  return it == pages_.end() ? oldPage : it->second;
}

uint32_t Relocation::id(uint32_t old) const {
  const auto it = ids_.find(old);
  return it == ids_.end() ? old : it->second;
}

const std::vector<uint16_t>* Relocation::idColumns(const TableDef& def) const {
  const auto it = columns_.find(def.firstPage);
  return it == columns_.end() ? nullptr : &it->second;
}

void Relocation::rewriteRow(const TableDef& def, std::vector<uint8_t>& row) const {
  const std::vector<uint16_t>* columns = idColumns(def);
  if (!columns) return;
  const RowFields fields(def, jet4_, ByteView(row));
  for (uint16_t n : *columns) {
    const Field v = fields.field(*def.columnByNumber(n));
    if (v.null || v.bytes.size() != 4) continue;
    const size_t at = static_cast<size_t>(v.bytes.data() - row.data());
    putLe32(row.data() + at, id(v.bytes.u32(0)));
  }
}

// A Long key column: flag 0x7F and big-endian with the sign bit flipped,
// every byte inverted when descending (flag 0x80); nulls hold no value.
void Relocation::rewriteKeys(const TableDef& def, size_t k, SourceIndex& index) const {
  const std::vector<uint16_t>* columns = idColumns(def);
  const RealIndex& r = def.realIndexes.at(k);
  if (!columns || r.columns.empty() ||
      !std::count(columns->begin(), columns->end(), r.columns[0].column))
    return;
  const bool asc = r.columns[0].ascending;
  const uint8_t flip = asc ? 0x00 : 0xFF;
  for (const SourceIndex::Entry& e : index.entries) {
    uint8_t* key = index.keys.data() + e.offset;
    if (e.keyLength < 5 || key[0] != (asc ? 0x7F : 0x80)) continue;
    uint8_t be[4];
    for (int i = 0; i < 4; ++i) be[i] = key[1 + i] ^ flip;
    putBe32(be, id(be32(be) ^ 0x80000000u) ^ 0x80000000u);
    for (int i = 0; i < 4; ++i) key[1 + i] = be[i] ^ flip;
  }
}

void Relocation::patchDefinition(TableDef& def) const {
  if (!relocated_) return;
  for (const LogicalIndex& li : def.logicalIndexes)
    if (namesTable(li))
      putLe32(def.buffer.data() + li.definitionOffset + relatedTableOffset_, page(li.relatedTable));
}

Relocation planRelocation(const Database& src, const std::vector<CatalogTable>& tables,
                          bool keepIds) {
  Relocation r;
  r.jet4_ = src.jet4();
  r.relatedTableOffset_ = src.format().logIdxRelTable;
  for (const CatalogTable& t : tables) r.tdefPages_.push_back(t.tdef);
  try {
    r.references_ = resolvedReferences(src, tables);
  } catch (const Corrupt& e) {
    r.fallbackReason_ = "a system table cannot be read: " + e.description();
    return r;
  }
  if (keepIds) {
    r.fallbackReason_ = "table Ids kept, as asked";
    return r;
  }
  std::unordered_set<uint32_t> tdefs(r.tdefPages_.begin(), r.tdefPages_.end());
  std::map<uint32_t, std::vector<uint16_t>> columns;
  std::vector<uint16_t> found;
  const auto fallBack = [&](std::string why) {
    r.fallbackReason_ = std::move(why);
    return r;
  };
  for (const CatalogTable& t : tables) {
    const TableDef& def = src.tableDef(t.tdef);
    if (auto why = objectIdColumns(def, t.name, found)) return fallBack(*why);
    if (!found.empty()) columns[t.tdef] = found;
    for (const LogicalIndex& li : def.logicalIndexes)
      if (namesTable(li) && !tdefs.count(li.relatedTable))
        return fallBack("index '" + li.name + "' of table '" + t.name + "' names page " +
                        std::to_string(li.relatedTable) + ", where no table is");
  }
  const std::unordered_set<uint32_t> retyped = retypedIds(tables);
  std::unordered_map<uint32_t, uint32_t> tableIds;  // TDEF page -> its table's Id
  std::unordered_set<uint32_t> objects, blocked;
  for (const CatalogEntry& e : src.catalog().entries) {
    const uint32_t old = static_cast<uint32_t>(e.id);
    objects.insert(old);
    if ((e.isTable() || retyped.count(old)) && tdefs.count(e.tdefPage()))
      tableIds[e.tdefPage()] = old;
    else
      blocked.insert(old);
  }
  // A value naming no object (a deleted one's) is kept as it is, so no moved
  // table may take it: its page is skipped, as is another object's Id.
  for (const auto& [tdef, cols] : columns)
    forEachId(src, src.tableDef(tdef), cols, [&](uint32_t v) {
      if (!objects.count(v)) blocked.insert(v);
    });
  std::map<uint32_t, uint32_t> pages;
  std::unordered_map<uint32_t, uint32_t> ids;
  uint32_t next = 2;
  for (const CatalogTable& t : tables) {
    const auto it = tableIds.find(t.tdef);
    const uint32_t high = it == tableIds.end() ? 0 : it->second & 0xFF000000u;
    while (blocked.count(high | next)) ++next;
    pages[t.tdef] = next;
    if (it != tableIds.end()) ids[it->second] = high | next;
    ++next;
  }
  r.relocated_ = true;
  r.tdefPages_.clear();
  for (const CatalogTable& t : tables) r.tdefPages_.push_back(pages[t.tdef]);
  r.pages_ = std::move(pages);
  r.ids_ = std::move(ids);
  r.columns_ = std::move(columns);
  return r;
}

uint64_t resolvedReferences(const Database& db, const std::vector<CatalogTable>& tables) {
  const Catalog& catalog = db.catalog();
  std::unordered_set<uint32_t> objects, tdefs = retypedIds(tables), kept;
  for (const CatalogTable& t : tables) kept.insert(t.tdef);
  for (const CatalogEntry& e : catalog.entries) {
    // A table salvage leaves out is no object of the copy.
    if (e.isTable() && !tables.empty() && !kept.count(e.tdefPage())) continue;
    objects.insert(static_cast<uint32_t>(e.id));
    if (e.isTable()) tdefs.insert(e.tdefPage());
  }
  std::vector<std::pair<uint32_t, std::string>> all;
  for (const CatalogEntry* e : catalog.tables(true))
    if (tables.empty() || kept.count(e->tdefPage())) all.emplace_back(e->tdefPage(), e->name);
  for (const CatalogTable& t : tables)
    if (t.retyped) all.emplace_back(t.tdef, t.name);
  uint64_t n = 0;
  std::vector<uint16_t> columns;
  for (const auto& [tdef, name] : all) {
    const TableDef& def = db.tableDef(tdef);
    for (const LogicalIndex& li : def.logicalIndexes)
      if (namesTable(li) && tdefs.count(li.relatedTable)) ++n;
    if (objectIdColumns(def, name, columns)) continue;
    if (!columns.empty()) forEachId(db, def, columns, [&](uint32_t v) { n += objects.count(v); });
  }
  return n;
}

}  // namespace jet::compact
