#include "jet/Engine.h"

#include "jet/Checker.h"
#include "jet/Database.h"
#include "jet/LockFile.h"
#include "jet/RowReader.h"
#include "jet/UsageMap.h"

namespace jet {

bool CheckReport::clean() const {
  for (const Finding& f : findings)
    if (f.severity != Severity::Info) return false;
  return true;
}

bool isInUse(const std::string& path) { return lockHeld(lockFileOf(path)); }

uint64_t countRows(const Database& db, const TableDef& def) {
  uint64_t n = 0;
  TableScan scan(db, def);
  RawRow row;
  while (scan.next(row)) ++n;
  return n;
}

DatabaseInfo describe(const Database& db) {
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
  info.freePages = static_cast<uint32_t>(readGlobalMap(db).pages.size());
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

DatabaseInfo describe(const std::string& path, const Credentials& credentials) {
  const std::unique_ptr<Database> db = Database::open(path, credentials);
  DatabaseInfo info;
  try {
    info = describe(*db);
  } catch (const Corrupt& c) {
    throw Error(3049,
                "Cannot read database '" + path + "': " + c.description() + ". Run a check on it.");
  }
  info.inUse = isInUse(path);
  return info;
}

namespace {

CheckReport checkOpened(const Database& db, const std::string& path) {
  CheckReport report;
  report.inUse = isInUse(path);
  if (report.inUse)
    report.findings.push_back({Severity::Warning, "", 0,
                               "Another program has the database open (its .ldb file is "
                               "locked); the check may see changes half made. Close it and "
                               "check again."});
  checkDatabase(db, report);
  return report;
}

}  // namespace

CheckReport check(const std::string& path, const Credentials& credentials) {
  return checkOpened(*Database::open(path, credentials), path);
}

CheckReport checkPrivateFile(const std::string& path, const Credentials& credentials) {
  return checkOpened(*Database::openPrivate(path, credentials), path);
}

}  // namespace jet
