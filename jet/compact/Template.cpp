#include "jet/compact/Template.h"

#include <algorithm>
#include <unordered_set>

#include "jet/compact/Digest.h"
#include "jet/db/TableScan.h"
#include "jet/format/DataPage.h"
#include "jet/util/Text.h"

#include "jet/db/Database.h"
#include "jet/db/Value.h"
#include "jet/format/Header.h"
#include "jet/format/IndexKey.h"
#include "jet/util/OverlaidFile.h"

namespace jet::compact {

std::shared_ptr<ReadFile> withHeaderOf(std::shared_ptr<ReadFile> source, const Database& templ) {
  const ByteView page0 = templ.page(0).bytes();
  return overlaid(std::move(source), 0, std::vector<uint8_t>(page0.begin(), page0.end()));
}

namespace {

// Jet 3 and Jet 4 by where the table definition on page 2 (the catalog's),
// else page 3 (MSysACEs'), starts: 02 01, then 'VC' in Jet 3 only.
std::optional<Version> versionByDefinition(ReadFile& file) {
  for (const uint32_t pg : {2u, 3u}) {
    for (const Version v : {Version::Jet3, Version::Jet4}) {
      uint8_t b[4] = {};
      if (file.readAt(uint64_t{pg} * Format::of(v).pageSize, b, 4) == 4 && b[0] == 2 && b[1] == 1 &&
          (b[2] == 'V' && b[3] == 'C') == (v == Version::Jet3))
        return v;
    }
  }
  return std::nullopt;
}

}  // namespace

std::shared_ptr<ReadFile> withFreshHeader(std::shared_ptr<ReadFile> source,
                                          const std::optional<std::string>& password,
                                          std::string& why) {
  FreshHeader h;
  const std::optional<Version> v = versionByDefinition(*source);
  if (!v) {
    why =
        "pages 2 and 3 are no table definitions either, as in an encoded file; give a backup as "
        "--template";
    return nullptr;
  }
  h.version = *v;
  h.password = password.value_or("");
  h.creationDate = oleDateNow();
  auto file = overlaid(source, 0, freshHeaderPage(h));
  try {
    // The sort order the catalog's names were written under.
    const auto db = Database::open(file, password);
    const TableDef& catalog = db->tableDef(2);
    if (const Column* name = catalog.findColumn("Name")) {
      const SortOrder order =
          columnSortOrder(h.version, ByteView(catalog.buffer.data() + name->descriptorOffset,
                                              catalog.buffer.size() - name->descriptorOffset));
      if (order.lcid) h.sortOrder = order.lcid;
      h.sortVersion = order.version;
      if (order.codePage) h.codePage = order.codePage;
    }
  } catch (const Corrupt&) {
    // the defaults stand
  }
  return overlaid(source, 0, freshHeaderPage(h));
}

std::optional<TableDef> definitionFrom(const Database& templ, const Database& src,
                                       const std::string& name, uint32_t tdef, std::string& why) {
  if (templ.format().version != src.format().version) {
    why = "the template is another Jet version";
    return std::nullopt;
  }
  const CatalogEntry* there = templ.catalog().findTable(name);
  if (!there) {
    why = "the template has no table '" + name + "'";
    return std::nullopt;
  }
  TableDef def;
  try {
    def = templ.tableDef(there->tdefPage());
  } catch (const Corrupt& e) {
    why = "the template's definition cannot be read either: " + e.description();
    return std::nullopt;
  }
  def.firstPage = tdef;
  def.ownedMap = def.freeMap = RowPtr{};  // page 0 holds no map: read, it fails
  const uint32_t at = src.format().logIdxRelTable;
  for (LogicalIndex& li : def.logicalIndexes) {
    if (!li.foreignKey() && li.relationRole == 0) continue;
    const CatalogEntry* related = nullptr;
    for (const CatalogEntry& e : templ.catalog().entries)
      if (e.isTable() && e.tdefPage() == li.relatedTable) related = &e;
    const CatalogEntry* here = related ? src.catalog().findTable(related->name) : nullptr;
    if (!here) {
      why = "the table its relationship '" + li.name + "' names is not in the database";
      return std::nullopt;
    }
    li.relatedTable = here->tdefPage();
    putLe32(def.buffer.data() + li.definitionOffset + at, li.relatedTable);
  }
  return def;
}

namespace {

bool sameColumns(const TableDef& a, const TableDef& b) {
  const std::vector<const Column*> x = a.columnsInOrder(), y = b.columnsInOrder();
  if (x.size() != y.size()) return false;
  for (size_t i = 0; i < x.size(); ++i)
    if (!sameName(x[i]->name, y[i]->name) || x[i]->type != y[i]->type ||
        x[i]->length != y[i]->length)
      return false;
  return true;
}

// An index as a user defines it: its name, kind, columns by name and
// direction, and flags.
std::vector<std::string> indexShapes(const TableDef& def) {
  std::vector<std::string> out;
  for (const LogicalIndex& l : def.logicalIndexes) {
    std::string shape = foldName(l.name) + "/" + std::to_string(l.type);
    if (l.realIndex < def.realIndexes.size()) {
      const RealIndex& r = def.realIndexes[l.realIndex];
      shape += "/" + std::to_string(r.flags);
      for (const IndexColumn& c : r.columns) {
        const Column* col = def.columnByNumber(c.column);
        shape += "/" + (col ? foldName(col->name) : "?") + (c.ascending ? "+" : "-");
      }
    }
    out.push_back(std::move(shape));
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The checksums of the source's rows on `pages`, up to a bound.
std::unordered_set<uint64_t> rowChecksums(const Database& src, const TableDef& def,
                                          const std::vector<uint32_t>& pages) {
  constexpr size_t kMost = 100000;
  std::unordered_set<uint64_t> out;
  RowHasher hasher(src, def);
  for (const uint32_t pg : pages) {
    try {
      const DataPage page(src.page(pg), src.format());
      for (uint16_t r = 0; r < std::min<uint16_t>(page.rowCount(), 256); ++r) {
        if (page.slotDeleted(r)) continue;
        try {
          out.insert(hasher.hash(readRow(src.pages(), RowPtr{pg, static_cast<uint8_t>(r)}).bytes));
        } catch (const Corrupt&) {
        }
        if (out.size() >= kMost) return out;
      }
    } catch (const Corrupt&) {
    }
  }
  return out;
}

// How many of the template table's rows are among `rows`, and how many it has.
std::pair<size_t, size_t> sharedRows(const Database& templ, const TableDef& def,
                                     const std::unordered_set<uint64_t>& rows) {
  size_t shared = 0, all = 0;
  try {
    RowHasher hasher(templ, def);
    TableScan scan(templ, def);
    RawRow row;
    for (; scan.next(row); ++all) shared += rows.count(hasher.hash(row.bytes));
  } catch (const Corrupt&) {
    all = SIZE_MAX;  // not known to be empty
  }
  return {shared, all};
}

}  // namespace

std::string nameFromTemplate(const Database& templ, const Database& src, uint32_t tdef,
                             const std::vector<uint32_t>& pages,
                             const std::set<std::string>& taken) {
  const TableDef& def = src.tableDef(tdef);
  std::vector<const CatalogEntry*> same;
  for (const CatalogEntry* t : templ.catalog().tables(true)) {
    if (taken.count(foldName(t->name))) continue;
    try {
      if (sameColumns(templ.tableDef(t->tdefPage()), def)) same.push_back(t);
    } catch (const Corrupt&) {
    }
  }
  if (same.size() > 1) {
    std::vector<const CatalogEntry*> indexed;
    for (const CatalogEntry* t : same)
      if (indexShapes(templ.tableDef(t->tdefPage())) == indexShapes(def)) indexed.push_back(t);
    if (!indexed.empty()) same = std::move(indexed);
  }
  if (same.size() == 1) return same.front()->name;
  if (same.empty()) return "";
  const std::unordered_set<uint64_t> rows = rowChecksums(src, def, pages);
  const CatalogEntry* best = nullptr;
  size_t most = 0;
  bool tie = false, allEmpty = rows.empty();
  for (const CatalogEntry* t : same) {
    const auto [n, all] = sharedRows(templ, templ.tableDef(t->tdefPage()), rows);
    allEmpty = allEmpty && all == 0;
    if (n > most)
      best = t, most = n, tie = false;
    else if (n == most)
      tie = true;
  }
  // Empty tables of one definition cannot be told apart, nor can it matter
  // which takes which of their names.
  if (allEmpty) return same.front()->name;
  return best && !tie ? best->name : "";
}

}  // namespace jet::compact
