#pragma once

// What the parts of the integrity check share: where findings go, who uses
// each page, and the advice findings end with.

#include <atomic>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "jet/Engine.h"
#include "jet/db/PageCensus.h"

namespace jet {

class Database;

namespace advice {
// Compaction rebuilds what these findings name.
inline constexpr const char* kCompact = " Compact the database.";
// Compaction refuses these, as it never drops data by itself; salvage copies
// what can be read and lists what it leaves out.
inline constexpr const char* kSalvage =
    " Only a salvage gets past this: jetdb compact --salvage, which lists what it leaves out.";
// Neither compaction nor salvage brings back what these name.
inline constexpr const char* kRestore = " Restore the database from a backup.";
// A unique index given one key twice: only the data's owner knows which row goes.
inline constexpr const char* kFixRows =
    " Delete one of the two rows in the program that uses the database, then compact it.";
}  // namespace advice

// Collects findings, capping how many one table may produce so a badly
// damaged file gives a readable report.
class Reporter {
 public:
  explicit Reporter(CheckReport& report) : report_(report) {}
  void add(Severity s, const std::string& table, uint32_t page, const std::string& message);
  void error(const std::string& table, uint32_t page, const std::string& message) {
    add(Severity::Error, table, page, message);
  }
  void warning(const std::string& table, uint32_t page, const std::string& message) {
    add(Severity::Warning, table, page, message);
  }
  void info(const std::string& table, uint32_t page, const std::string& message) {
    add(Severity::Info, table, page, message);
  }
  // Adds one finding per table whose findings were cut off.
  void finish();

 private:
  static constexpr size_t kMaxPerTable = 40;
  CheckReport& report_;
  std::map<std::string, size_t> perTable_;
  std::map<std::string, Severity> worstCut_;
};

// Who uses each page (a few bytes a page), so pages claimed twice and the
// global map can be checked.
class PageClaims {
 public:
  explicit PageClaims(uint32_t pages) : owner_(pages, 0) { names_.emplace_back(); }
  // A claimant's number, for its description ("table 'Orders'").
  uint32_t claimant(const std::string& who);
  // The earlier claimant's description when another already claimed pg.
  const std::string* claim(uint32_t pg, uint32_t who);
  bool claimed(uint32_t pg) const { return pg < owner_.size() && owner_[pg] != 0; }
  const std::string& owner(uint32_t pg) const { return names_[owner_[pg]]; }
  const std::string& name(uint32_t who) const { return names_[who]; }

 private:
  std::vector<uint32_t> owner_;
  std::vector<std::string> names_;
};

// Memo/OLE rows already used by a value, a bit per row of each page.
class LongValueRows {
 public:
  // False when the row was used before.
  bool use(uint32_t page, uint8_t row);

 private:
  std::map<uint32_t, std::vector<uint64_t>> used_;
};

struct CheckContext {
  CheckContext(const Database& database, CheckReport& report, const std::atomic<bool>* stop);
  // Claims pg for who, reporting a page claimed twice.
  void claimPage(uint32_t pg, uint32_t who, const std::string& table);
  // Called for every page read: throws Error 3059 once asked to stop.
  void poll() const;

  const Database& db;
  CheckReport& report;
  Reporter r;
  PageClaims claims;
  LongValueRows lvRows;
  std::set<uint32_t> mapHolders;  // pages holding usage-map rows
  uint32_t mapsClaimant = 0;
  const std::atomic<bool>* stop = nullptr;
  PageCensus census;              // every page's type and owner, taken after the tables
  std::vector<uint32_t> reached;  // table definitions the catalog names as tables
  struct Listed {
    std::string table;
    std::vector<uint32_t> pages;  // its map's, ascending
  };
  std::map<uint32_t, Listed> listed;  // by table definition; maps read whole
  std::set<uint32_t> offRows;         // roots of indexes found not to name the rows read
};

std::string pageText(uint32_t pg);

struct TableDef;
struct RealIndex;
// "Index 'PrimaryKey'": the first logical index on the tree, else its number.
std::string indexLabel(const TableDef& def, const RealIndex& index);

// True when a unique index may hold the key of this row only once: no key
// column is null (Jet lets such an index hold a key with a null more than
// once). False as well when the row cannot be read.
struct IndexEntry;
bool keyHeldOnce(const Database& db, const TableDef& def, const RealIndex& index,
                 const IndexEntry& e);

// The table part and the index part of the check.
struct CatalogEntry;
struct TableDef;
struct RealIndex;
class RowMap;
void checkTable(CheckContext& c, const CatalogEntry& table);
// True when the index was read whole, keeps no null out, and names each
// live row once and nothing else: then it vouches for the rows found.
// rowsShort: the table counts more rows than were read.
bool checkIndex(CheckContext& c, const std::string& table, const TableDef& def,
                const RealIndex& index, const RowMap& live, bool rowsShort);
// Pages no table's own structures account for: table definitions the
// catalog does not reach, data pages their table's map does not list; and
// catalog rows that hide their table.
struct Catalog;
void checkCensus(CheckContext& c, const Catalog& catalog);

}  // namespace jet
