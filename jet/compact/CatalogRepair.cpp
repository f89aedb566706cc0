#include "jet/compact/CatalogRepair.h"

#include "jet/compact/CatalogEvidence.h"
#include "jet/compact/Template.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include "jet/db/Catalog.h"
#include "jet/db/Database.h"
#include "jet/db/PageCensus.h"
#include "jet/db/TableScan.h"
#include "jet/db/Value.h"
#include "jet/format/DataPage.h"
#include "jet/format/DataPageBuilder.h"
#include "jet/format/Header.h"
#include "jet/format/Row.h"
#include "jet/format/RowBuilder.h"
#include "jet/util/Text.h"

namespace jet::compact {
namespace {

std::vector<uint8_t> little(uint64_t v, size_t n) {
  std::vector<uint8_t> b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
  return b;
}

// The system tables of Jet and Access, known by their columns (name and
// type, in any order and case) wherever their names are lost, as every
// shared and Access-written file has them. Left out: those whose columns a
// user table could well have: MSysNavPaneObjectIDs (Id, Name, Type) is named
// from its own rows instead.
struct SystemTable {
  const char* name;
  std::vector<std::string> columns;  // "name:type" in hex, "name:type/width" where it tells
};
const SystemTable kSystemTables[] = {
    {"MSysACEs", {"ACM:04", "FInheritable:01", "ObjectId:04", "SID:09"}},
    {"MSysQueries",
     {"Attribute:02", "Expression:0c", "Flag:03", "LvExtra:04", "Name1:0a", "Name2:0a",
      "ObjectId:04", "Order:09"}},
    {"MSysQueries",  // Jet 3
     {"Attribute:02", "Expression:0c", "Flag:03", "Name1:0a", "Name2:0a", "ObjectId:04",
      "Order:09"}},
    {"MSysRelationships",
     {"ccolumn:04", "grbit:04", "icolumn:04", "szColumn:0a", "szObject:0a", "szReferencedColumn:0a",
      "szReferencedObject:0a", "szRelationship:0a"}},
    // A column type no other table uses; in Jet 3, a binary width of its own.
    {"MSysAccessObjects", {"Data:11", "ID:04"}},
    {"MSysAccessObjects", {"Data:09/241", "ID:04"}},
    {"MSysAccessStorage",
     {"DateCreate:08", "DateUpdate:08", "Id:04", "Lv:0b", "Name:0a", "ParentId:04", "Type:04"}},
    {"MSysAccessXML",
     {"Id:04", "LValue:0b", "ObjectGuid:0f", "ObjectName:0a", "Property:0a", "Value:0a"}},
    {"MSysIMEXColumns",
     {"Attributes:04", "DataType:03", "FieldName:0a", "IndexType:02", "SkipColumn:01", "SpecID:04",
      "Start:03", "Width:03"}},
    {"MSysIMEXSpecs",
     {"DateDelim:0a", "DateFourDigitYear:01", "DateLeadingZeros:01", "DateOrder:03",
      "DecimalPoint:0a", "FieldSeparator:0a", "FileType:03", "SpecID:04", "SpecName:0a",
      "SpecType:02", "StartRow:04", "TextDelim:0a", "TimeDelim:0a"}},
    {"MSysModules", {"__A__:0a"}},
    {"MSysModules2",
     {"Flags:04", "Form:0b", "Module:0b", "Name:0a", "ReplicationVersion:04", "Type:04",
      "TypeInfo:0b", "Version:04"}},
    {"MSysNameMap", {"GUID:0f", "Id:04", "Name:0a", "NameMap:0b", "Type:04"}},
    {"MSysNavPaneGroupCategories",
     {"Filter:0a", "Flags:04", "Id:04", "Name:0a", "Position:04", "SelectedObjectID:04",
      "Type:04"}},
    {"MSysNavPaneGroupToObjects",
     {"Flags:04", "GroupID:04", "Icon:04", "Id:04", "Name:0a", "ObjectID:04", "Position:04"}},
    {"MSysNavPaneGroups",
     {"Flags:04", "Group:04", "GroupCategoryID:04", "Id:04", "Name:0a", "ObjectID:04",
      "Position:04"}},
};

const char* systemTableOf(const TableDef& def) {
  for (const SystemTable& t : kSystemTables) {
    std::set<std::string> want, have;
    for (const std::string& c : t.columns) {
      const size_t colon = c.find(':');
      want.insert(foldName(c.substr(0, colon)) + c.substr(colon));
    }
    for (const Column& c : def.columns) {
      char type[16];
      std::snprintf(type, sizeof type, ":%02x", c.type);
      std::string column = foldName(c.name) + type;
      if (!want.count(column)) column += "/" + std::to_string(c.length);
      have.insert(column);
    }
    if (want == have) return t.name;
  }
  return nullptr;
}

// The tables' names by Id (TDEF page) in the navigation pane's own list of
// objects (MSysNavPaneObjectIDs: Id, Name, Type), where Access 2007 and
// later keep one. A table of those columns is taken for it only when its
// rows name page 2 MSysObjects and its own page MSysNavPaneObjectIDs.
std::map<uint32_t, std::string> navPaneNames(const Database& src,
                                             const std::vector<uint32_t>& candidates) {
  for (const uint32_t tdef : candidates) {
    std::map<uint32_t, std::string> names;
    try {
      const TableDef& def = src.tableDef(tdef);
      const Column *id = def.findColumn("Id"), *name = def.findColumn("Name"),
                   *type = def.findColumn("Type");
      if (def.columns.size() != 3 || !id || !name || !type) continue;
      TableScan scan(src, def);
      RawRow row;
      Value v;
      while (scan.next(row)) {
        const RowFields fields(def, src.jet4(), row.bytes);
        decodeValue(src, *type, fields.field(*type), v);
        if (v.kind != Value::Kind::Integer || v.integer != object_type::kTable) continue;
        decodeValue(src, *id, fields.field(*id), v);
        const auto at = static_cast<uint32_t>(v.integer);
        decodeValue(src, *name, fields.field(*name), v);
        if (v.kind == Value::Kind::Text) names.emplace(at, v.text);
      }
    } catch (const Corrupt&) {
      continue;
    }
    if (sameName(names[2], "MSysObjects") && sameName(names[tdef], "MSysNavPaneObjectIDs"))
      return names;
  }
  return {};
}

// The Id of the "Tables" container, which every table names as its parent.
int32_t tablesContainer(const Database& src, const Database* templ) {
  for (const Database* db : {&src, templ}) {
    if (!db) continue;
    for (const CatalogEntry& e : db->catalog().entries)
      if (e.type == object_type::kContainer && sameName(e.name, "Tables")) return e.id;
    for (const CatalogEntry* t : db->catalog().tables(false)) return t->parentId;
  }
  return 0x0F000001;  // what Access gives it
}

// A catalog row naming the table at tdef: Id, parent, name, Type, flags and
// dates; the rest null.
std::vector<uint8_t> catalogRow(const Database& src, const std::string& name, uint32_t tdef,
                                int32_t parent, uint32_t flags) {
  const TableDef& def = src.tableDef(2);
  const double now = oleDateNow();
  uint64_t date = 0;
  std::memcpy(&date, &now, 8);
  std::vector<FieldValue> values(def.columns.size());
  for (size_t k = 0; k < def.columns.size(); ++k) {
    const Column& c = def.columns[k];
    const auto set = [&](uint8_t type, std::vector<uint8_t> bytes) {
      if (c.type == type) values[k] = {false, false, std::move(bytes)};
    };
    if (sameName(c.name, "Id")) set(column_type::kLong, little(tdef, 4));
    if (sameName(c.name, "ParentId"))
      set(column_type::kLong, little(static_cast<uint32_t>(parent), 4));
    if (sameName(c.name, "Name")) {
      const std::string stored = storedText(src.version(), name);
      set(c.type, std::vector<uint8_t>(stored.begin(), stored.end()));
    }
    if (sameName(c.name, "Type")) set(column_type::kInteger, little(object_type::kTable, 2));
    if (sameName(c.name, "Flags")) set(column_type::kLong, little(flags, 4));
    if (sameName(c.name, "DateCreate") || sameName(c.name, "DateUpdate"))
      set(column_type::kDateTime, little(date, 8));
  }
  return buildRow(def, src.jet4(), values);
}

// The new catalog pages, numbered on from the file's last page and encoded
// as the file's own are.
class NewPages {
 public:
  explicit NewPages(const Database& src) : src_(src), page_(src.format(), 2) {}
  void add(const std::vector<uint8_t>& row) {
    if (!page_.fits(row.size())) close();
    page_.add(row.data(), row.size());
  }
  std::vector<uint8_t> take() {
    if (!page_.empty()) close();
    return std::move(bytes_);
  }

 private:
  void close() {
    std::vector<uint8_t> p = page_.page();
    const auto pg = static_cast<uint32_t>(src_.pageCount() + bytes_.size() / p.size());
    if (src_.header().dbKey) codePage(src_.header().dbKey, pg, p.data(), p.size());
    bytes_.insert(bytes_.end(), p.begin(), p.end());
    page_.reset();
  }
  const Database& src_;
  DataPageBuilder page_;
  std::vector<uint8_t> bytes_;
};

// True when a page the catalog's map lists is none of its data pages any
// more, or a live slot of one is no catalog row that can be read.
bool catalogLostRows(const Database& src) {
  try {
    size_t live = 0;
    const TableScan scan(src, src.tableDef(2));
    for (const uint32_t pg : scan.pages()) {
      const Page p = src.page(pg);
      if (p.bytes().u8(0) != page_type::kData || p.bytes().u32(4) != 2) return true;
      const DataPage page(p, src.format());
      for (uint16_t r = 0; r < page.rowCount(); ++r) live += page.slotDeleted(r) ? 0 : 1;
    }
    return live > src.catalog().entries.size();
  } catch (const Corrupt&) {
    return true;
  }
}

bool leftOut(const CatalogRepair& repair, const CatalogEntry& e) {
  return std::any_of(repair.leftOut.begin(), repair.leftOut.end(), [&](const auto& l) {
    return l.first == RowPtr{e.headerPage, e.headerRow};
  });
}

// The catalog's rows sorted out: the table rows that reach their
// definitions, and those whose Id or name the catalog's indexes contradict.
struct Reach {
  std::vector<uint32_t> reached;               // definitions the catalog names
  std::set<std::string> names;                 // of the tables, folded
  std::set<std::string> others;                // of the container's other objects, folded
  std::vector<const CatalogEntry*> misplaced;  // rows whose Id the index contradicts
};

Reach reach(const Database& src, const std::vector<uint32_t>& defs, const CatalogEvidence& ids,
            int32_t parent, CatalogRepair& out) {
  Reach r;
  for (const CatalogEntry* t : src.catalog().tables(true)) {
    // A row whose Id names no table definition names no table, nor one whose
    // Id or name the catalog's indexes contradict: its name may be that of a
    // definition found later, which then takes it.
    if (ids.idContradicted(*t)) {
      r.misplaced.push_back(t);
      continue;
    }
    if (ids.nameContradicted(*t)) {
      out.leftOut.push_back({RowPtr{t->headerPage, t->headerRow},
                             "the catalog row of table '" + t->name +
                                 "' shares its name with another, and the catalog's index on "
                                 "names holds another for it; the row is left out"});
      continue;
    }
    if (t->tdefPage() != 2 && !std::binary_search(defs.begin(), defs.end(), t->tdefPage()))
      continue;
    r.reached.push_back(t->tdefPage());
    r.names.insert(foldName(t->name));
  }
  // A row whose Type is lost (null, or one no object has) and whose Id the
  // index gives as a definition's page is that table's row; the names of the
  // container's other objects are taken, as names are unique within it.
  for (const CatalogEntry& e : src.catalog().entries) {
    if (!e.knownType() && ids.idContradicted(e))
      r.misplaced.push_back(&e);
    else if (!e.isTable() && e.parentId == parent)
      r.others.insert(foldName(e.name));
  }
  return r;
}

}  // namespace

CatalogRepair repairCatalog(const Database& src, const PageCensus& census, const Database* templ) {
  CatalogRepair out;
  const CatalogEvidence ids(src, census.tableDefinitions());
  const int32_t parent = tablesContainer(src, templ);
  Reach r = reach(src, census.tableDefinitions(), ids, parent, out);
  std::set<std::string>& names = r.names;
  // Where the catalog lost rows, a definition without rows may be a table
  // whose row was among them: it comes back, listed.
  const bool catalogLost = catalogLostRows(src);
  NewPages pages(src);
  // The catalog's own row: without it, Ids naming page 2 name no object.
  if (std::find(r.reached.begin(), r.reached.end(), 2u) == r.reached.end()) {
    pages.add(catalogRow(src, "MSysObjects", 2, parent, kSystemFlags));
    names.insert(foldName("MSysObjects"));
  }
  const std::vector<OrphanTable> orphans = orphanTables(src, census, r.reached, true);
  std::vector<uint32_t> candidates;
  if (const CatalogEntry* t = src.catalog().findTable("MSysNavPaneObjectIDs"))
    candidates.push_back(t->tdefPage());
  for (const OrphanTable& o : orphans) candidates.push_back(o.tdef);
  const std::map<uint32_t, std::string> navPane = navPaneNames(src, candidates);
  for (const OrphanTable& o : orphans) {
    if (o.tdef == 2) continue;  // the catalog's own row is made above
    const CatalogTrace trace = catalogTraceOf(src, census.dataPagesOf(2), o.tdef);
    // A live catalog row of another Type: compaction makes it a table again.
    const bool rowLeftOut = trace.live && leftOut(out, *trace.live);
    if (trace.live && !rowLeftOut) continue;
    std::string name = trace.deletedName;
    for (const CatalogEntry* t : r.misplaced)
      if (name.empty() && ids.holdsId(*t, o.tdef) && !names.count(foldName(t->name))) {
        name = t->name;
        out.leftOut.push_back({RowPtr{t->headerPage, t->headerRow},
                               "the catalog row of table '" + t->name + "' names page " +
                                   std::to_string(t->tdefPage()) +
                                   ", where the catalog's index on Id has " +
                                   std::to_string(o.tdef) + "; the table is kept from page " +
                                   std::to_string(o.tdef) + " and the row is left out"});
      }
    if (const auto it = navPane.find(o.tdef); name.empty() && it != navPane.end())
      name = it->second;
    std::string named = name.empty() ? "none" : "catalog";
    try {
      const TableDef& def = src.tableDef(o.tdef);
      if (name.empty() && templ) {
        name = nameFromTemplate(*templ, src, o.tdef, o.pages, names);
        if (!name.empty()) named = "template";
      }
      if (const char* system = name.empty() ? systemTableOf(def) : nullptr)
        name = system, named = "columns";
    } catch (const Corrupt&) {
      continue;  // no definition: its rows stay lost
    }
    // A definition that holds no row is a table again only where something
    // names it (a row left out for its name too), or where the catalog lost
    // rows: in a sound catalog it is a dropped table's page left behind.
    if (o.pages.empty() && name.empty() && !rowLeftOut && !catalogLost) continue;
    if (name.empty() || names.count(foldName(name)) || r.others.count(foldName(name)))
      name = "Recovered_" + std::to_string(o.tdef), named = "none";
    pages.add(catalogRow(src, name, o.tdef, parent, systemName(name) ? kSystemFlags : 0));
    names.insert(foldName(name));
    out.tables.push_back({name, o.tdef, named});
  }
  out.pages = pages.take();
  return out;
}

}  // namespace jet::compact
