#include "jet/compact/Template.h"

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

}  // namespace jet::compact
