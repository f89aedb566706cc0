#include "jet/compact/SalvageSource.h"

#include "jet/compact/CatalogRepair.h"
#include "jet/compact/Template.h"
#include "jet/db/Catalog.h"
#include "jet/db/CatalogDefinition.h"
#include "jet/db/Database.h"
#include "jet/db/PageCensus.h"
#include "jet/format/UsageMap.h"
#include "jet/util/OverlaidFile.h"

namespace jet::compact {
namespace {

// Without a template: a header made afresh, or why the source cannot be
// opened stands.
std::unique_ptr<Database> withHeaderMadeAfresh(std::shared_ptr<ReadFile>& file,
                                               const Credentials& credentials, const Error& lost,
                                               SourceRepairs& repairs) {
  std::string why;
  std::shared_ptr<ReadFile> fresh = withFreshHeader(file, credentials.password, why);
  if (!fresh)
    throw Error(lost.number(), lost.description() + " Salvage cannot make it afresh: " + why + ".");
  std::unique_ptr<Database> db;
  try {
    db = Database::open(fresh, credentials.password);
  } catch (const Error&) {
    throw lost;
  }
  file = fresh;
  repairs.madeAfresh.push_back("the header (page 0: " + lost.description() + ")");
  return db;
}

// Why the file's own definition of the catalog cannot stand: it cannot be
// read, an index names a column it lacks (the index cannot be made again),
// or the catalog's rows do not read under it; "" when it stands.
std::string catalogDefinitionFault(const Database& source, const PageCensus& census) {
  try {
    const TableDef& own = source.tableDef(2);
    for (const RealIndex& index : own.realIndexes)
      for (const IndexColumn& c : index.columns)
        if (!own.columnByNumber(c.column))
          return "an index names column " + std::to_string(c.column) + ", which it lacks";
    if (catalogRowsFit(source, own, census.dataPagesOf(2))) return "";
    return "the catalog's rows do not read under it";
  } catch (const Corrupt& e) {
    return e.description();
  }
}

// The template's definition of the catalog where the source's own cannot
// stand, else one made afresh; the catalog's rows are found by their pages'
// owner. Where they do not read under the one made afresh, the file's
// catalog was laid out otherwise: a row read under it would be invented.
void catalogDefinitionFrom(const Database& source, const Database* templ, const PageCensus& census,
                           SourceRepairs& repairs) {
  const std::string fault = catalogDefinitionFault(source, census);
  if (fault.empty()) return;
  const std::string what = "the definition of the catalog (page 2: " + fault + ")";
  if (templ && templ->format().version == source.format().version) {
    TableDef def = templ->tableDef(2);
    def.ownedMap = def.freeMap = RowPtr{};
    source.supplyTableDef(2, std::move(def), census.dataPagesOf(2));
    repairs.fromTemplate.push_back(what);
    return;
  }
  TableDef def = catalogDefinition(source.header());
  if (!catalogRowsFit(source, def, census.dataPagesOf(2)))
    throw Corrupt("the catalog's definition (page 2): " + fault +
                  "; the catalog's rows do not read under the definition Jet gives it either, so "
                  "salvage cannot make it afresh: give a backup as --template");
  source.supplyTableDef(2, std::move(def), census.dataPagesOf(2));
  repairs.madeAfresh.push_back(what);
}

// The catalog's data pages found by their owner where its usage map cannot
// be read.
void catalogPagesByOwner(const Database& source, const PageCensus& census) {
  if (source.suppliedPages(2)) return;
  try {
    readUsageMap(source.pages(), source.tableDef(2).ownedMap);
  } catch (const Corrupt&) {
    try {
      TableDef def = source.tableDef(2);
      source.supplyTableDef(2, std::move(def), census.dataPagesOf(2));
    } catch (const Corrupt&) {
      // no definition: compaction names what it cannot read
    }
  }
}

// The catalog's rows that can be read, where some cannot: the tables of
// those that cannot are found by their definitions.
void catalogPastDamage(const Database& db) {
  try {
    db.catalog();
    return;
  } catch (const Corrupt&) {
  }
  try {
    db.supplyCatalog(readableCatalog(db));
  } catch (const Corrupt&) {
    // its definition cannot be read either: compaction names what it cannot
  }
}

}  // namespace

std::unique_ptr<Database> openSource(FileSystem& fs, const std::string& src,
                                     const Credentials& credentials, const Database* templ,
                                     bool salvage, std::shared_ptr<ReadFile>& file,
                                     SourceRepairs& repairs) {
  file = fs.openRead(src);
  try {
    return Database::open(file, credentials.password);
  } catch (const Error& e) {
    if (!salvage || (e.number() != 3049 && e.number() != 3343)) throw;
    if (!templ) return withHeaderMadeAfresh(file, credentials, e, repairs);
    std::unique_ptr<Database> db;
    try {
      file = withHeaderOf(file, *templ);
      db = Database::open(file, credentials.password);
    } catch (const Error&) {
      throw e;  // the template does not fit either: the first reason stands
    }
    repairs.fromTemplate.push_back("the header (page 0: " + e.description() + ")");
    return db;
  }
}

std::unique_ptr<Database> repairedForSalvage(std::unique_ptr<Database> source,
                                             const std::shared_ptr<ReadFile>& file,
                                             const Credentials& credentials, const Database* templ,
                                             PageCensus& census, SourceRepairs& repairs) {
  catalogDefinitionFrom(*source, templ, census, repairs);
  catalogPagesByOwner(*source, census);
  catalogPastDamage(*source);
  CatalogRepair repair;
  try {
    repair = repairCatalog(*source, census, templ);
  } catch (const Corrupt&) {
    return source;  // compaction names what it cannot read
  }
  if (repair.pages.empty()) return source;
  repairs.recoveredTables = std::move(repair.tables);
  // From the first whole page past the file's last; a torn last page stays
  // unread.
  const uint32_t ps = source->format().pageSize, first = source->pageCount();
  const auto added = static_cast<uint32_t>(repair.pages.size() / ps);
  const uint32_t torn = source->pages().tornPage();
  std::unique_ptr<Database> db = Database::open(
      overlaid(file, uint64_t{first} * ps, std::move(repair.pages)), credentials.password);
  for (const auto& [row, why] : repair.leftOut) db->leaveOutCatalogRow(row, why);
  if (torn != UINT32_MAX)
    db->pages().keepTorn(torn, static_cast<uint32_t>(source->fileSize() % ps));
  for (uint32_t pg = first; pg < first + added; ++pg) {
    db->addCatalogPage(pg);
    census.addDataPage(pg, 2);
  }
  if (const std::vector<uint32_t>* pages = source->suppliedPages(2))
    db->supplyTableDef(2, source->tableDef(2), *pages);
  catalogPastDamage(*db);
  return db;
}

}  // namespace jet::compact
