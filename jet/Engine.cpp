// The public interface over the engine's layers: opening through the file
// system, turning damage met on the way into errors that name the file.
#include "jet/Engine.h"

#include "jet/db/Checker.h"
#include "jet/db/Database.h"
#include "jet/db/Dump.h"
#include "jet/db/LockFile.h"
#include "jet/db/TableScan.h"
#include "jet/format/Password.h"
#include "jet/format/UsageMap.h"
#include "jet/util/SignalCleanup.h"

namespace jet {

Credentials::Credentials(const std::string& daoConnect)
    : password(passwordFromConnect(daoConnect)) {}

Credentials Credentials::withPassword(std::string password) {
  Credentials c;
  c.password = std::move(password);
  return c;
}

bool CheckReport::clean() const {
  for (const Finding& f : findings)
    if (f.severity != Severity::Info) return false;
  return true;
}

bool isInUse(const std::string& path) { return databaseInUse(defaultFileSystem(), path); }

namespace {

std::unique_ptr<Database> openDatabase(const std::string& path, const Credentials& credentials) {
  return Database::open(defaultFileSystem(), path, credentials.password);
}

uint64_t countRows(const Database& db, const TableDef& def) {
  uint64_t n = 0;
  TableScan scan(db, def);
  RawRow row;
  while (scan.next(row)) ++n;
  return n;
}

// The catalog scan passes over pages of its map that are no data page of
// it; a table listed there would then be missing without a word.
void requireWholeCatalog(const Database& db) {
  std::vector<uint32_t> unread;
  liveRows(db, db.tableDef(2), &unread);
  if (!unread.empty())
    throwCorrupt("the catalog (MSysObjects) cannot be read whole: its page " +
                 std::to_string(unread.front()) + " is no data page of it");
}

std::string unreadNote(const std::string& table, const std::vector<uint32_t>& pages) {
  std::string note = " table '" + table + "' page";
  if (pages.size() > 1) note += "s";
  for (size_t i = 0; i < pages.size(); ++i) note += (i ? ", " : " ") + std::to_string(pages[i]);
  return note + " (no data page of the table)";
}

DatabaseInfo describeOpen(const Database& db) {
  requireWholeCatalog(db);
  DatabaseInfo info;
  const Header& h = db.header();
  info.version = h.version;
  info.pageSize = db.pageSize();
  info.pageCount = db.pageCount();
  info.codePage = h.codePage;
  info.sortOrder = h.sortOrder;
  info.creationDate = h.creationDate;
  info.hasPassword = h.hasPassword();
  info.encoded = h.dbKey != 0;
  info.freePages = static_cast<uint32_t>(readGlobalMap(db.pages()).pages.size());
  for (const CatalogEntry* e : db.catalog().tables(true)) {
    TableSummary t;
    t.name = e->name;
    t.tdefPage = e->tdefPage();
    t.system = e->system();
    try {
      t.rowCount = countRows(db, db.tableDef(t.tdefPage));
    } catch (const Corrupt& c) {
      throw Corrupt("table '" + t.name + "': " + c.description());
    }
    info.tables.push_back(std::move(t));
  }
  return info;
}

}  // namespace

DatabaseInfo describe(const std::string& path, const Credentials& credentials) {
  const std::unique_ptr<Database> db = openDatabase(path, credentials);
  DatabaseInfo info;
  try {
    info = describeOpen(*db);
  } catch (const Corrupt& c) {
    throw Error(3049,
                "Cannot read database '" + path + "': " + c.description() + ". Run a check on it.");
  }
  db->checkUnchanged();
  info.inUse = isInUse(path);
  return info;
}

CheckReport check(const std::string& path, const Credentials& credentials,
                  const CheckOptions& options) {
  const std::unique_ptr<Database> db = openDatabase(path, credentials);
  CheckReport report;
  report.inUse = isInUse(path);
  if (report.inUse)
    report.findings.push_back({Severity::Warning, "", 0,
                               "Another program has the database open (its .ldb file is "
                               "locked); the check may see changes half made. Close it and "
                               "check again."});
  checkDatabase(*db, report, nullptr, options.deep ? Depth::Deep : Depth::DeepSystem);
  db->checkUnchanged();
  return report;
}

void dump(const std::string& path, const Credentials& credentials, const DumpOptions& options,
          const LineSink& sink) {
  const std::unique_ptr<Database> db = openDatabase(path, credentials);
  std::string current, unread;
  try {
    requireWholeCatalog(*db);
    std::vector<const CatalogEntry*> tables;
    if (options.table) {
      const CatalogEntry* e = db->catalog().findTable(*options.table);
      if (!e)
        throw Error(3078, "Cannot find the input table or query '" + *options.table +
                              "'. Make sure it exists and that its name is spelled correctly.");
      tables.push_back(e);
    } else {
      tables = db->catalog().tables(options.system);
    }
    for (const CatalogEntry* e : tables) {
      current = e->name;
      const TableDumped done = dumpTable(*db, *e, sink);
      if (done.unreadPages.empty()) continue;
      if (!unread.empty()) unread += ";";
      unread += unreadNote(e->name, done.unreadPages);
    }
  } catch (const Corrupt& c) {
    throw Error(3049,
                "Cannot read " +
                    (current.empty() ? std::string("the catalog") : "table '" + current + "'") +
                    " of '" + path + "': " + c.description() + ".");
  }
  db->checkUnchanged();
  if (!unread.empty())
    throw Error(3049, "Cannot read all rows of '" + path + "':" + unread +
                          "; the rows printed are the rest. Run a check on it.");
}

}  // namespace jet
