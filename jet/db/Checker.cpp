#include "jet/db/Checker.h"

#include <unordered_set>

#include "jet/db/CheckContext.h"
#include "jet/db/Database.h"
#include "jet/db/DeepCheck.h"
#include "jet/format/UsageMap.h"

namespace jet {

std::string pageText(uint32_t pg) { return "page " + std::to_string(pg); }

void Reporter::add(Severity s, const std::string& table, uint32_t page,
                   const std::string& message) {
  if (++perTable_[table] > kMaxPerTable) {
    Severity& worst = worstCut_.try_emplace(table, s).first->second;
    if (s > worst) worst = s;
    return;
  }
  report_.findings.push_back({s, table, page, message});
}

void Reporter::finish() {
  for (const auto& [table, worst] : worstCut_)
    report_.findings.push_back({worst, table, 0,
                                std::to_string(perTable_[table] - kMaxPerTable) +
                                    " further findings of this table are not listed."});
}

uint32_t PageClaims::claimant(const std::string& who) {
  names_.push_back(who);
  return static_cast<uint32_t>(names_.size() - 1);
}

const std::string* PageClaims::claim(uint32_t pg, uint32_t who) {
  if (pg >= owner_.size()) return nullptr;
  if (owner_[pg] == 0) {
    owner_[pg] = who;
    return nullptr;
  }
  return owner_[pg] == who ? nullptr : &names_[owner_[pg]];
}

bool LongValueRows::use(uint32_t page, uint8_t row) {
  std::vector<uint64_t>& bits = used_[page];
  if (bits.empty()) bits.assign(4, 0);
  const uint64_t bit = uint64_t{1} << (row % 64);
  if (bits[row / 64] & bit) return false;
  bits[row / 64] |= bit;
  return true;
}

CheckContext::CheckContext(const Database& database, CheckReport& out,
                           const std::atomic<bool>* stopFlag)
    : db(database), report(out), r(out), claims(database.pageCount()), stop(stopFlag) {
  mapsClaimant = claims.claimant("the usage maps");
}

void CheckContext::poll() const {
  if (stop && stop->load(std::memory_order_relaxed))
    throw Error(3059, "Operation canceled by user.");
}

void CheckContext::claimPage(uint32_t pg, uint32_t who, const std::string& table) {
  if (const std::string* other = claims.claim(pg, who))
    r.error(table, pg,
            pageText(pg) + " is used by " + claims.name(who) + " and also by " + *other +
                "; one of them will overwrite the other." + advice::kCompact);
}

namespace {

void checkHeader(CheckContext& c) {
  // The commit slots are not read: what their bytes mean is not established,
  // and a healthy file can hold any value there.
  const Header& h = c.db.header();
  if (c.db.jet4() && !(h.creationDate > 0 && h.creationDate < 2958466))
    c.r.info("", 0, "The creation date in the header is not a plausible date.");
}

// A torn last page is as bad as what reads it found: nothing reads it, and
// compaction leaves it out; else the worst advice of the findings it caused.
void checkTornPage(CheckContext& c) {
  const uint32_t torn = c.db.pages().tornPage();
  if (torn == UINT32_MAX) return;
  const std::string cause = pageText(torn) + " is cut short";
  const char* advice = advice::kCompact;
  for (const Finding& f : c.report.findings) {
    if (f.message.find(cause) == std::string::npos) continue;
    if (f.message.find(advice::kRestore) != std::string::npos) advice = advice::kRestore;
    if (f.message.find(advice::kSalvage) != std::string::npos && advice != advice::kRestore)
      advice = advice::kSalvage;
  }
  c.r.error("", torn,
            "The file ends inside " + pageText(torn) +
                ": a write was cut short, and what that page held is lost." + advice);
}

void checkGlobalMap(CheckContext& c) {
  UsageMap global;
  try {
    global = readGlobalMap(c.db.pages());
  } catch (const Corrupt& e) {
    c.r.error("", 1,
              "The map of free pages cannot be read (" + e.description() +
                  "); new data could be written over pages in use." + advice::kCompact);
    return;
  }
  if (global.skippedPointers)
    c.r.info("", 1,
             "The map of free pages names " + std::to_string(global.skippedPointers) +
                 " bitmap page(s) past the end of the file; they are passed over.");
  for (uint32_t pg : c.mapHolders) c.claimPage(pg, c.mapsClaimant, "");
  std::vector<bool> isFree(c.db.pageCount(), false);
  for (uint32_t pg : global.pages) isFree[pg] = true;
  size_t leaked = 0, wronglyFree = 0;
  uint32_t firstWrong = 0;
  for (uint32_t pg = 0; pg < c.db.pageCount(); ++pg) {
    const bool claimed = c.claims.claimed(pg);
    if (claimed && isFree[pg]) {
      if (wronglyFree++ == 0) firstWrong = pg;
    } else if (!claimed && !isFree[pg] &&
               (global.kind == UsageMap::Kind::Reference ||
                (pg >= global.startPage && pg < global.capacityEnd))) {
      ++leaked;
    }
  }
  if (wronglyFree)
    c.r.error("", firstWrong,
              std::to_string(wronglyFree) + " page(s) in use are marked free (the first: " +
                  std::to_string(firstWrong) + " of " + c.claims.owner(firstWrong) +
                  "); new data would overwrite them." + advice::kCompact);
  if (leaked)
    c.r.info("", 0,
             std::to_string(leaked) +
                 " page(s) are neither used nor marked free; compaction gives them back.");
}

// A catalog row of a Type no object has is damaged: its object, a table
// perhaps, is lost to every reader.
void checkCatalogTypes(CheckContext& c, const Catalog& catalog) {
  for (const CatalogEntry& e : catalog.entries)
    if (!e.knownType())
      c.r.error("MSysObjects", e.headerPage,
                "The catalog row of '" + e.name + "' (row " + std::to_string(e.headerRow) +
                    ") has Type " + std::to_string(e.type) +
                    ", which no object has: the row is damaged, and its object is lost to "
                    "every reader." +
                    std::string(advice::kSalvage));
}

// Every table the catalog names, the catalog first even where no row of it
// names itself.
void checkTables(CheckContext& c, const Catalog& catalog, Depth depth) {
  CatalogEntry self;
  self.id = 2;
  self.name = "MSysObjects";
  self.type = object_type::kTable;
  std::vector<const CatalogEntry*> tables{&self};
  for (const CatalogEntry* t : catalog.tables(true))
    if (t->tdefPage() == 2)
      tables[0] = t;
    else
      tables.push_back(t);
  std::unordered_set<uint32_t> done;
  for (const CatalogEntry* t : tables) {
    if (!done.insert(t->tdefPage()).second) {
      c.r.error(t->name, t->tdefPage(),
                "Two catalog entries name the same table definition page; one of them is "
                "damaged." +
                    std::string(advice::kRestore));
      continue;
    }
    c.reached.push_back(t->tdefPage());
    checkTable(c, *t);
    if (depth == Depth::Deep || (depth == Depth::DeepSystem && t->system())) deepCheckTable(c, *t);
  }
}

}  // namespace

void checkDatabase(const Database& db, CheckReport& report, const std::atomic<bool>* stop,
                   Depth depth) {
  CheckContext c(db, report, stop);
  checkHeader(c);
  const uint32_t header = c.claims.claimant("the header");
  c.claimPage(0, header, "");
  c.claimPage(1, c.mapsClaimant, "");
  const Catalog* catalog = nullptr;
  try {
    catalog = &db.catalog();
  } catch (const Corrupt& e) {
    c.r.error("MSysObjects", 2,
              "The catalog cannot be read (" + e.description() + "); no table can be found." +
                  advice::kRestore);
  }
  if (catalog) {
    checkCatalogTypes(c, *catalog);
    checkTables(c, *catalog, depth);
    // After the tables: the pages they read need not be read again.
    c.census = PageCensus::take(db, [&c] { c.poll(); });
    checkCensus(c, *catalog);
    checkGlobalMap(c);
  }
  checkTornPage(c);
  c.r.finish();
}

}  // namespace jet
