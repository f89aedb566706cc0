// What the integrity check finds beyond any table's own structures: what
// the census of every page and the catalog's rows say of tables the
// catalog does not reach, or reaches so that no reader shows them.
#include <algorithm>
#include <map>
#include <optional>
#include <unordered_set>

#include "jet/db/CheckContext.h"
#include "jet/db/Database.h"
#include "jet/util/Text.h"

namespace jet {
namespace {

// A user table flagged as a system object is shown by no reader; of two
// tables with one name a reader shows one.
void checkCatalogRows(CheckContext& c, const Catalog& catalog) {
  std::map<std::string, uint32_t> names;
  for (const CatalogEntry* t : catalog.tables(true)) {
    const std::string key = std::to_string(t->parentId) + "/" + foldName(t->name);
    if (!systemName(t->name) && (t->flags & kSystemFlags))
      c.r.error(t->name, t->tdefPage(),
                "The table's catalog row flags it as a system object, so no reader shows it." +
                    std::string(advice::kSalvage));
    const auto [it, fresh] = names.emplace(key, t->tdefPage());
    if (!fresh && it->second != t->tdefPage())
      c.r.error(t->name, t->tdefPage(),
                "Another table (" + pageText(it->second) +
                    ") has the same name, so a reader shows only one of them." + advice::kSalvage);
  }
}

// Why no catalog row reaches the table definition at tdef as a table, and
// the name a row gives it. Nothing when no row names it and it is no table.
std::optional<std::pair<std::string, std::string>> whyUnreached(CheckContext& c,
                                                                const OrphanTable& o) {
  std::string name = "(the table at " + pageText(o.tdef) + ")";
  std::string why = "no catalog row names it";
  try {
    const CatalogTrace trace = catalogTraceOf(c.db, c.census.dataPagesOf(2), o.tdef);
    if (trace.live)
      return std::pair{trace.live->name,
                       "its catalog row has Type " + std::to_string(trace.live->type)};
    if (!trace.deletedName.empty()) {
      name = trace.deletedName;
      why = "its catalog row is marked deleted";
    }
  } catch (const Corrupt&) {
    // the catalog's own damage is reported with it
  }
  if (o.pages.empty()) return std::nullopt;  // a leaked definition: no table
  return std::pair{name, why};
}

// Table definitions no catalog row reaches as tables, though rows or a
// catalog row still name them: compaction would drop them.
void checkUnreached(CheckContext& c) {
  for (const OrphanTable& o : orphanTables(c.db, c.census, c.reached, true)) {
    const auto why = whyUnreached(c, o);
    if (!why) continue;
    std::string what = "The table definition on " + pageText(o.tdef) +
                       " is reached by no catalog row as a table (" + why->second + ")";
    what += o.pages.empty()
                ? std::string(", so the table is lost to every reader.")
                : ", so the " + std::to_string(o.total()) + " rows on its " +
                      std::to_string(o.pages.size()) + " data pages are lost to every reader.";
    c.r.error(why->first, o.tdef, what + advice::kSalvage);
  }
}

// Data pages that name a table and hold rows though its map does not list
// them: no reader finds those rows.
void checkUnlisted(CheckContext& c, uint32_t tdef, const CheckContext::Listed& listed) {
  for (uint32_t pg : c.census.dataPagesOf(tdef)) {
    if (std::binary_search(listed.pages.begin(), listed.pages.end(), pg)) continue;
    if (const uint32_t live = liveSlots(c.db, pg))
      c.r.error(listed.table, pg,
                pageText(pg) + " holds " + std::to_string(live) +
                    " rows of the table, but the table's page list does not name it, so no "
                    "reader finds them." +
                    advice::kSalvage);
  }
}

// Data pages that name as owner a page that begins no table.
void checkOwnerless(CheckContext& c) {
  const std::vector<uint32_t>& tdefs = c.census.tableDefinitions();
  const std::unordered_set<uint32_t> reached(c.reached.begin(), c.reached.end());
  uint32_t count = 0, first = 0;
  for (uint32_t pg = 0; pg < c.census.pageCount(); ++pg) {
    const uint32_t owner = c.census.dataOwner(pg);
    if (owner == 0 || reached.count(owner) || std::binary_search(tdefs.begin(), tdefs.end(), owner))
      continue;
    if (count++ == 0) first = pg;
  }
  if (count)
    c.r.info("", first,
             std::to_string(count) +
                 " data page(s) name as their table a page that begins no table definition (the "
                 "first: " +
                 pageText(first) + "); no table reads them, and compaction leaves them out.");
}

}  // namespace

void checkCensus(CheckContext& c, const Catalog& catalog) {
  checkCatalogRows(c, catalog);
  for (const auto& [tdef, listed] : c.listed) checkUnlisted(c, tdef, listed);
  checkUnreached(c);
  checkOwnerless(c);
}

}  // namespace jet
