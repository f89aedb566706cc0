#pragma once

// The engine's public interface: what the program and jetdb call.
// Everything else under jet/ is the engine's own business.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "jet/Error.h"
#include "jet/Version.h"

namespace jet {

// The database password a caller offers, as a value. The program hands over
// DAO's connect string (";pwd=secret", keys case-insensitive), which converts
// implicitly and is parsed by DAO's rules; jetdb gives the password itself,
// which is never parsed. Neither is ever printed.
struct Credentials {
  std::optional<std::string> password;  // nullopt: none offered

  Credentials() = default;
  Credentials(const std::string& daoConnect);  // NOLINT: DAO's connect string
  Credentials(const char* daoConnect) : Credentials(std::string(daoConnect)) {}  // NOLINT
  static Credentials withPassword(std::string password);
};

// One user or system table as the catalog lists it.
struct TableSummary {
  std::string name;
  uint32_t tdefPage = 0;
  uint64_t rowCount = 0;  // live rows actually read, not the stored count
  bool system = false;
};

// What `jetdb info` prints.
struct DatabaseInfo {
  Version version = Version::Jet4;
  uint32_t pageSize = 0;
  uint32_t pageCount = 0;
  uint32_t freePages = 0;
  uint16_t codePage = 0;
  uint32_t sortOrder = 0;
  double creationDate = 0;  // OLE automation date
  bool hasPassword = false;
  bool encoded = false;
  bool inUse = false;  // another program holds the lock file
  std::vector<TableSummary> tables;
};

// Opens the file read-only and summarises it. Throws Error, 3049 too when
// the catalog cannot be read whole (its tables would go unlisted).
DatabaseInfo describe(const std::string& path, const Credentials& credentials);

enum class Severity { Info, Warning, Error };

// One finding of check(); table is empty and page 0 where none applies.
struct Finding {
  Severity severity = Severity::Error;
  std::string table;
  uint32_t page = 0;
  std::string message;  // a sentence a user can act on
};

struct CheckReport {
  std::vector<Finding> findings;
  bool inUse = false;
  uint64_t indexEntriesChecked = 0;  // deep: index entries found equal to their rows' keys
  uint32_t tablesCompared = 0;       // deep: tables with at least one such entry
  // Clean: no finding of severity Warning or Error.
  bool clean() const;
};

struct CheckOptions {
  // Also make every index's keys from its rows and compare them with the
  // stored entries, byte for byte and in order (reads every row once more).
  bool deep = false;
};

// The integrity check. Throws Error only when the file cannot be opened at
// all, or changed while it was read.
CheckReport check(const std::string& path, const Credentials& credentials,
                  const CheckOptions& options = {});

// Rows as JSON lines, one per row, newline included:
//   {"table":"NAME","row":{"COLUMN":VALUE,...}}
// Columns in their defined order. Text and memo are strings, numbers are
// numbers (currency with four decimals), dates "YYYY-MM-DD hh:mm:ss", yes/no
// true/false, GUIDs "{...}", binary and OLE data lowercase hex strings.
struct DumpOptions {
  std::optional<std::string> table;  // only this table (names ignore case)
  bool system = false;               // the system tables too
};
using LineSink = std::function<void(const std::string& line)>;
// Throws Error 3078 for a table that is not there, 3049 naming the table for
// damage met on the way (the lines before it were handed over), and 3049
// naming tables and pages after the last table when pages of a table could
// not be read (every row that could was handed over).
void dump(const std::string& path, const Credentials& credentials, const DumpOptions& options,
          const LineSink& sink);

// True when another program holds a lock on the database's ".ldb" file (the
// one beside the real file when path is a symbolic link). Throws Error 3051
// when that lock file exists but cannot be read: "in use" is then unknown.
bool isInUse(const std::string& path);

struct CompactOptions {
  // Keep each table's AutoNumber seed as stored instead of resetting it to
  // the highest remaining value + 1.
  bool keepAutoNumberSeed = false;
  // Keep every table definition at its page, and so every table Id (its TDEF
  // page). By default definitions are packed from the front and each known
  // place holding a table Id is rewritten: a table made late no longer holds
  // the copy near the source's size.
  bool keepIds = false;
  // Leave out rows that cannot be read instead of refusing the database, and
  // empty memo/OLE values that cannot; what was left out is reported, and
  // listed in DST.lost.txt.
  bool salvage = false;
  // Salvage: an older healthy copy of the same database (a dated backup),
  // opened with the same password; the header and table definitions that
  // cannot be read are taken from it, never rows.
  std::string templatePath;
  // Bytes of index entries a sort holds in memory before it spills runs to
  // a temporary file beside the output; 0 for the default (24 MB).
  size_t sortMemory = 0;
};

// Called now and then (several times a second) with the fraction done
// (0..1); returning false cancels the compaction, which then throws Error
// 3059 and leaves nothing at dst.
using Progress = std::function<bool(double fraction)>;

// An index compaction made again from its table's rows instead of copying it.
struct IndexRebuilt {
  std::string table, index;
  std::string reason;  // what was wrong with the stored one
};

// What salvage left out of one page of a table.
struct RowsLost {
  std::string table;
  uint32_t page = 0;
  int64_t rows = 0;     // -1: the page's rows cannot be counted
  uint32_t values = 0;  // memo/OLE values emptied in rows that were kept
  std::string reason;
  // Each lost row (or value) that can be named: its primary key where the
  // primary-key index names it, else its page and slot.
  std::vector<std::string> named;
};

// A table salvage kept though no catalog row named it as a table any more.
struct RecoveredTable {
  std::string table;      // the name it has now
  uint32_t fromPage = 0;  // its table definition in the source
  // "catalog" (a deleted catalog row), "template" (its table of the same
  // columns), "columns" (a system table's) or "none" ("Recovered_<page>")
  std::string named;
};

struct CompactResult {
  uint64_t sourceBytes = 0;
  uint64_t outputBytes = 0;
  uint32_t sourcePages = 0;
  uint32_t outputPages = 0;
  uint32_t tables = 0;  // user tables
  uint64_t rows = 0;    // their rows
  std::vector<IndexRebuilt> indexesRebuilt;
  bool relocated = false;      // table definitions packed from the front, Ids changed
  std::string fallbackReason;  // why not, when not
  uint64_t rowsLost = 0;       // salvage: rows left out, those counted
  bool uncounted = false;      // salvage: some page's rows could not be counted
  std::vector<RowsLost> lost;
  // salvage: rows copied from data pages their table's map did not list
  // (rows: how many; reason: why they were not reached)
  std::vector<RowsLost> recovered;
  // salvage: each structure taken from the template, in words
  std::vector<std::string> fromTemplate;
  std::vector<RecoveredTable> recoveredTables;
  // salvage: each structure made afresh, as no template was given, in words
  std::vector<std::string> madeAfresh;
};

// Writes a complete, verified compacted copy of src at dst, or throws Error and
// leaves nothing at dst. The source is opened read-only and never changed.
CompactResult compactDatabase(const std::string& src, const std::string& dst,
                              const Credentials& credentials, const CompactOptions& options = {},
                              const Progress& progress = {});

// Where the file system cannot make unnamed files, compaction's temporary
// output has a name; after this call, SIGINT, SIGTERM, SIGHUP and SIGQUIT remove it
// before the process ends as the signal would end it. Call once at start-up.
void installSignalCleanup();

// "2003-01-31 14:05:00" (seconds rounded), or the plain number when out of range.
std::string formatDate(double oleDate);
// Appends s (UTF-8) as a JSON string literal.
void appendJsonString(const std::string& s, std::string& out);

}  // namespace jet
