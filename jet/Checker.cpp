#include "jet/Checker.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <unordered_set>

#include "jet/DataPage.h"
#include "jet/Database.h"
#include "jet/IndexReader.h"
#include "jet/LongValue.h"
#include "jet/RowReader.h"
#include "jet/UsageMap.h"
#include "jet/Value.h"

namespace jet {
namespace {

constexpr uint32_t kLvalOwner = 0x4C41564C;  // "LVAL"
constexpr size_t kMaxFindingsPerTable = 40;

std::string pageText(uint32_t pg) { return "page " + std::to_string(pg); }

// Collects findings, capping how many one table may produce so a badly
// damaged file gives a readable report.
class Reporter {
 public:
  explicit Reporter(CheckReport& report) : report_(report) {}

  void add(Severity s, const std::string& table, uint32_t page, const std::string& message) {
    size_t& n = perTable_[table];
    if (++n > kMaxFindingsPerTable) {
      if (s == Severity::Error)
        suppressedErrors_[table]++;
      else
        suppressedOther_[table]++;
      return;
    }
    report_.findings.push_back({s, table, page, message});
  }
  void error(const std::string& table, uint32_t page, const std::string& message) {
    add(Severity::Error, table, page, message);
  }
  void warning(const std::string& table, uint32_t page, const std::string& message) {
    add(Severity::Warning, table, page, message);
  }
  void info(const std::string& table, uint32_t page, const std::string& message) {
    add(Severity::Info, table, page, message);
  }
  void finish() {
    for (auto& [table, n] : perTable_) {
      if (n <= kMaxFindingsPerTable) continue;
      const size_t errors = suppressedErrors_[table];
      report_.findings.push_back(
          {errors ? Severity::Error : Severity::Warning, table, 0,
           std::to_string(n - kMaxFindingsPerTable) +
               " further problems of this table are not listed. Compact the database or "
               "restore it from a backup."});
    }
  }

 private:
  CheckReport& report_;
  std::map<std::string, size_t> perTable_;
  std::map<std::string, size_t> suppressedErrors_, suppressedOther_;
};

// Who uses each page, so double claims and the global map can be checked.
class PageClaims {
 public:
  explicit PageClaims(uint32_t pages) : owner_(pages) {}

  // Returns the earlier claimant when the page was already claimed by another.
  const std::string* claim(uint32_t pg, const std::string& who) {
    if (pg >= owner_.size()) return nullptr;
    if (owner_[pg].empty()) {
      owner_[pg] = who;
      return nullptr;
    }
    return owner_[pg] == who ? nullptr : &owner_[pg];
  }
  bool claimed(uint32_t pg) const { return pg < owner_.size() && !owner_[pg].empty(); }
  const std::string& owner(uint32_t pg) const { return owner_[pg]; }

 private:
  std::vector<std::string> owner_;
};

bool entryLess(const IndexEntry& a, const IndexEntry& b) {
  const size_t n = std::min(a.key.size(), b.key.size());
  const int c = n ? std::memcmp(a.key.data(), b.key.data(), n) : 0;
  if (c != 0) return c < 0;
  if (a.key.size() != b.key.size()) return a.key.size() < b.key.size();
  if (a.page != b.page) return a.page < b.page;
  return a.row < b.row;
}

// Row pointers of a table's live rows, looked up in constant time: index
// entries point all over the table, and a binary search per entry misses
// the cache at every step.
class RowSet {
 public:
  explicit RowSet(std::vector<uint32_t> raw) : size_(raw.size()) {
    if (raw.empty()) return;
    const auto [lo, hi] = std::minmax_element(raw.begin(), raw.end());
    first_ = *lo >> 8;
    slot_.assign((*hi >> 8) - first_ + 1, UINT32_MAX);
    for (uint32_t r : raw) {
      uint32_t& s = slot_[(r >> 8) - first_];
      if (s == UINT32_MAX) {
        s = static_cast<uint32_t>(bits_.size());
        bits_.resize(bits_.size() + 4, 0);
      }
      bits_[s + (r & 0xFF) / 64] |= uint64_t{1} << (r & 63);
    }
  }
  bool contains(RowPtr p) const {
    if (p.page < first_ || p.page - first_ >= slot_.size()) return false;
    const uint32_t s = slot_[p.page - first_];
    return s != UINT32_MAX && ((bits_[s + p.row / 64] >> (p.row & 63)) & 1);
  }
  size_t size() const { return size_; }

 private:
  size_t size_;
  uint32_t first_ = 0;
  std::vector<uint32_t> slot_;  // per page from first_: its words in bits_, or none
  std::vector<uint64_t> bits_;  // four words (256 rows) per page with live rows
};

bool sameEntry(const IndexEntry& a, const IndexEntry& b) {
  return a.key == b.key && a.page == b.page && a.row == b.row;
}

class Checker {
 public:
  Checker(const Database& db, CheckReport& report)
      : db_(db), r_(report), claims_(db.pageCount()), inUse_(report.inUse) {}

  void run() {
    checkHeader();
    claimPage(0, "the header");
    claimPage(1, "the global usage map");
    const Catalog* catalog = nullptr;
    try {
      catalog = &db_.catalog();
    } catch (const Corrupt& e) {
      r_.error("MSysObjects", 2,
               "The catalog cannot be read (" + e.description() +
                   "); no table can be found. Restore the database from a backup.");
    }
    if (catalog) {
      std::unordered_set<uint32_t> done;
      for (const CatalogEntry* t : catalog->tables(true)) {
        if (!done.insert(t->tdefPage()).second) {
          r_.error(t->name, t->tdefPage(),
                   "Two catalog entries name the same table definition page; one of them is "
                   "damaged.");
          continue;
        }
        checkTable(*t);
      }
      checkGlobalMap();
    }
    r_.finish();
  }

 private:
  // A mapped database gives pages back now and then, so a large file is never
  // all in memory; views stay valid.
  void pageDone() {
    if ((++pagesDone_ & 1023) == 0) db_.dropPages();
  }

  void claimPage(uint32_t pg, const std::string& who, const std::string& table = "") {
    if (const std::string* other = claims_.claim(pg, who))
      r_.error(table, pg,
               pageText(pg) + " is used by " + who + " and also by " + *other +
                   "; one of them will overwrite the other. Compact the database.");
  }

  void checkHeader() {
    const Header& h = db_.header();
    if (h.dirty() && inUse_)
      r_.info("", 0,
              "A commit slot in the header is set; the program that has the database open may "
              "be writing to it.");
    else if (h.dirty())
      r_.warning("", 0,
                 "The database was not closed cleanly (a user's commit slot in the header is "
                 "still set). Make sure nobody has it open, then compact it.");
    if (db_.jet4() && !(h.creationDate > 0 && h.creationDate < 2958466))
      r_.info("", 0, "The creation date in the header is not a plausible date.");
  }

  // Marks the holder page of a usage map row and its bitmap pages as used.
  UsageMap readMap(RowPtr where, const std::string& what, const std::string& table, bool& ok) {
    ok = false;
    UsageMap map;
    try {
      map = readUsageMap(db_, where);
      ok = true;
    } catch (const Corrupt& e) {
      r_.error(table, where.page,
               "The usage map of " + what + " cannot be read (" + e.description() +
                   "). Compact the database.");
      return map;
    }
    holders_.insert(where.page);
    for (uint32_t bp : map.bitmapPages) claimPage(bp, "the usage maps", table);
    return map;
  }

  void checkTable(const CatalogEntry& entry) {
    const std::string& name = entry.name;
    const uint32_t tdef = entry.tdefPage();
    const TableDef* defp = nullptr;
    try {
      defp = &db_.tableDef(tdef);
    } catch (const Corrupt& e) {
      r_.error(name, tdef,
               "The table definition cannot be read (" + e.description() +
                   "). The table is lost unless a backup has it.");
      return;
    }
    const TableDef& def = *defp;
    for (uint32_t pg : def.pages) claimPage(pg, "the definition of table '" + name + "'", name);
    if (def.parsedLength != def.length)
      r_.error(name, tdef,
               "The table definition says it is " + std::to_string(def.length) +
                   " bytes long but its sections end at " + std::to_string(def.parsedLength) +
                   ". Compact the database.");

    // Data pages.
    bool ok = false;
    const UsageMap owned = readMap(def.ownedMap, "table '" + name + "'", name, ok);
    if (!ok) return;
    const std::string who = "table '" + name + "'";
    std::vector<uint32_t> dataPages;
    for (uint32_t pg : owned.pages) {
      const ByteView page = db_.page(pg);
      if (page.u8(0) != page_type::kData || page.u32(4) != tdef) {
        r_.error(name, pg,
                 pageText(pg) + " is listed as the table's data page but " +
                     (page.u8(0) != page_type::kData ? "is not a data page"
                                                     : "belongs to another table") +
                     ". Compact the database.");
        continue;
      }
      claimPage(pg, who, name);
      dataPages.push_back(pg);
    }
    bool freeOk = false;
    if (!def.freeMap.null()) {
      const UsageMap freeMap =
          readMap(def.freeMap, "table '" + name + "' (free space)", name, freeOk);
      for (uint32_t pg : freeMap.pages)
        if (!std::binary_search(owned.pages.begin(), owned.pages.end(), pg)) {
          r_.warning(name, pg,
                     pageText(pg) +
                         " is in the table's free-space list but not among its "
                         "pages. Compact the database.");
          break;
        }
    }

    // Rows, values and long values.
    std::vector<uint32_t> liveHeaders;  // RowPtr raw of every live row's header slot
    std::unordered_set<uint32_t> overflowTargets;
    uint64_t live = 0;
    RowDecoder decoder(db_, def);
    std::vector<Field> fields;
    Value value;
    const Column* autoColumn = nullptr;
    for (const Column& c : def.columns)
      if (c.type == column_type::kLong && (c.flags & column_flag::kAutoNumber)) autoColumn = &c;
    int64_t autoMax = 0;
    std::map<uint16_t, std::vector<uint32_t>> lvPagesByColumn;  // LV map pages per column
    std::map<uint16_t, bool> lvMapRead;
    for (const LongValueMap& m : def.longValueMaps) {
      bool mok = false;
      const UsageMap map = readMap(m.owned, "a memo/OLE column of '" + name + "'", name, mok);
      if (mok) lvPagesByColumn[m.column] = map.pages;
      lvMapRead[m.column] = mok;
      if (!m.free.null()) readMap(m.free, "a memo/OLE column of '" + name + "'", name, mok);
    }

    for (uint32_t pg : dataPages) {
      pageDone();
      std::optional<DataPage> page;
      try {
        page.emplace(db_.page(pg), db_.format());
      } catch (const Corrupt& e) {
        r_.error(name, pg,
                 "The data page is damaged (" + e.description() + "). Compact the database.");
        continue;
      }
      if (page->rowCount() > 255)
        r_.error(name, pg,
                 "The data page claims " + std::to_string(page->rowCount()) +
                     " rows, more than a page can address.");
      if (page->computedFreeSpace() != page->freeSpace())
        r_.error(name, pg,
                 "The page's free-space count (" + std::to_string(page->freeSpace()) +
                     ") does not match its rows (" + std::to_string(page->computedFreeSpace()) +
                     "). Compact the database.");
      const uint16_t rows = std::min<uint16_t>(page->rowCount(), 256);
      for (uint16_t r = 0; r < rows; ++r) {
        RowSlot slot;
        try {
          slot = page->slot(r);
        } catch (const Corrupt& e) {
          r_.error(name, pg, "Row " + std::to_string(r) + ": " + e.description() + ".");
          continue;
        }
        if (slot.deleted()) continue;
        RowPtr stored{pg, static_cast<uint8_t>(r)};
        try {
          if (slot.lookup()) {
            const RowSlot pointer = slot;
            const RowPtr target = RowPtr::fromRaw(pointer.bytes.u32(0));
            const RowSlot raw = readSlot(db_, target);
            if ((raw.flags & kRowDeleted) == 0)
              r_.error(name, pg,
                       "Row " + std::to_string(r) + " points to an overflow row (page " +
                           std::to_string(target.page) + ", row " + std::to_string(target.row) +
                           ") that is not marked as one. Compact the database.");
            if (!overflowTargets.insert(target.raw()).second)
              r_.error(name, target.page, "Two rows share one overflow row. Compact the database.");
            slot = followOverflow(db_, slot, stored);
          }
          ++live;
          liveHeaders.push_back(RowPtr{pg, static_cast<uint8_t>(r)}.raw());
          if (decoder.storedColumns(slot.bytes) > def.maxCols)
            throw Corrupt("the row stores more columns than the table has");
          decoder.decode(slot.bytes, fields);
          for (size_t k = 0; k < def.columns.size(); ++k) {
            const Column& c = def.columns[k];
            if (c.longValue() && !fields[k].null && !fields[k].bytes.empty()) {
              checkLongValue(name, c, fields[k], pg, r, lvPagesByColumn, lvMapRead);
              continue;
            }
            if (c.type == column_type::kText) continue;  // any bytes decode: nothing to find
            decodeValue(db_, c, fields[k], value);
            if (&c == autoColumn && value.kind == Value::Kind::Integer)
              autoMax = std::max(autoMax, value.integer);
          }
        } catch (const Corrupt& e) {
          r_.error(name, stored.page,
                   "Row " + std::to_string(stored.row) + " cannot be read (" + e.description() +
                       "). Compact the database or restore it from a backup.");
        }
      }
    }
    if (live != def.numRows)
      r_.info(name, tdef,
              "The table definition counts " + std::to_string(def.numRows) +
                  " rows, the table holds " + std::to_string(live) +
                  "; compaction corrects the count.");
    if (autoColumn && autoMax > static_cast<int32_t>(def.autoNumber))
      r_.warning(name, tdef,
                 "The AutoNumber counter (" + std::to_string(static_cast<int32_t>(def.autoNumber)) +
                     ") is below the highest value in column '" + autoColumn->name + "' (" +
                     std::to_string(autoMax) + "); new rows could collide. Compact the database.");

    const RowSet liveSet(std::move(liveHeaders));
    for (const RealIndex& index : def.realIndexes) checkIndex(name, def, index, liveSet);
  }

  void checkLongValue(const std::string& name, const Column& c, const Field& field, uint32_t pg,
                      uint16_t r, const std::map<uint16_t, std::vector<uint32_t>>& lvPages,
                      const std::map<uint16_t, bool>& lvMapRead) {
    std::vector<RowPtr> used;
    readLongValue(db_, field.bytes, &used);
    const auto it = lvPages.find(c.number);
    for (const RowPtr& p : used) {
      if (!lvalRows_.insert(p.raw()).second)
        r_.error(name, p.page,
                 "A memo/OLE piece (row " + std::to_string(p.row) +
                     ") is used by two values; changing one changes the other. Compact the "
                     "database.");
      const ByteView page = db_.page(p.page);
      if (page.u32(4) != kLvalOwner)
        r_.error(name, p.page,
                 "Column '" + c.name + "' of row " + std::to_string(r) + " on " + pageText(pg) +
                     " keeps its data on a page that is not a memo/OLE page.");
      if (it != lvPages.end()) {
        if (!std::binary_search(it->second.begin(), it->second.end(), p.page))
          r_.error(name, p.page,
                   "The memo/OLE page used by column '" + c.name +
                       "' is missing from the column's page list. Compact the database.");
      } else if (lvMapRead.find(c.number) == lvMapRead.end() && !missingLvMapReported_) {
        missingLvMapReported_ = true;
        r_.info(name, 0, "Column '" + c.name + "' has no memo/OLE page list in the definition.");
      }
      claimPage(p.page, "the memo/OLE data of table '" + name + "'", name);
    }
  }

  void checkIndex(const std::string& name, const TableDef& def, const RealIndex& index,
                  const RowSet& liveHeaders) {
    const std::string what = "index " + std::to_string(index.number) + " of table '" + name + "'";
    std::string label = "Index " + std::to_string(index.number);
    for (const LogicalIndex& li : def.logicalIndexes)
      if (li.realIndex == index.number) {
        label = "Index '" + li.name + "'";
        break;
      }
    bool ok = false;
    const UsageMap map = readMap(index.usageMap, what, name, ok);

    // The tree: every page reachable from the root, level by level.
    std::vector<uint32_t> treePages;
    std::unordered_set<uint32_t> seen;
    std::vector<uint32_t> level{index.rootPage};
    IndexPage p;
    IndexEntry last;
    try {
      for (int depth = 0; !level.empty(); ++depth) {
        if (depth > 32) throw Corrupt("the tree is deeper than any real index");
        std::vector<uint32_t> nextLevel;
        for (uint32_t pg : level) {
          if (!seen.insert(pg).second) throw Corrupt(pageText(pg) + " is reached twice");
          treePages.push_back(pg);
          pageDone();
          readIndexPage(db_, pg, p);
          if (p.owner != def.firstPage)
            r_.error(name, pg, label + ": the index page belongs to another table.");
          if (p.prefixLength > 0 && !p.entries.empty() &&
              p.prefixLength > p.entries.front().key.size() + 4)
            r_.error(name, pg,
                     label + ": the page's shared prefix is longer than its first entry.");
          for (size_t k = 1; k < p.entries.size(); ++k)
            if (!entryLess(p.entries[k - 1], p.entries[k])) {
              r_.error(name, pg,
                       label + ": entries on the page are out of order. Compact the database.");
              break;
            }
          if (p.leaf()) continue;
          for (const IndexEntry& e : p.entries) {
            nextLevel.push_back(e.child);
            if (!readLastIndexEntry(db_, e.child, last) || !sameEntry(last, e))
              r_.error(name, pg,
                       label + ": a node entry does not match the last entry of its child page " +
                           std::to_string(e.child) + ".");
          }
          if (p.tail != 0) nextLevel.push_back(p.tail);
        }
        level = std::move(nextLevel);
      }
    } catch (const Corrupt& e) {
      r_.error(name, index.rootPage,
               label + " is damaged (" + e.description() + "). Compact or repair the database.");
      return;
    }
    for (uint32_t pg : treePages) claimPage(pg, "index pages of table '" + name + "'", name);
    if (ok) {
      std::vector<uint32_t> sorted = treePages;
      std::sort(sorted.begin(), sorted.end());
      if (sorted != map.pages)
        r_.error(name, index.rootPage,
                 label + ": the index's page list does not match its tree (" +
                     std::to_string(map.pages.size()) + " listed, " +
                     std::to_string(sorted.size()) + " in the tree). Compact the database.");
    }

    // The leaves in order: sorted entries, each pointing at a live row.
    uint64_t count = 0;
    try {
      IndexLeafScan scan(db_, index);
      IndexEntry e, prev;
      bool first = true;
      bool reportedOrder = false, reportedTarget = false, reportedDuplicate = false;
      const bool unique = (index.flags & index_flag::kUnique) != 0 && index.columns.size() == 1;
      while (scan.next(e)) {
        if ((++count & 0xFFFF) == 0) db_.dropPages();
        if (!first && !entryLess(prev, e) && !reportedOrder) {
          reportedOrder = true;
          r_.error(name, scan.leaves().back(),
                   label +
                       ": entries along the leaf pages are out of order. Compact the "
                       "database.");
        }
        // Unique single-column indexes: one entry per key (nulls excepted).
        if (unique && !first && !reportedDuplicate && e.key == prev.key && !e.key.empty() &&
            e.key[0] != 0x00 && e.key[0] != 0xFF) {
          reportedDuplicate = true;
          r_.error(name, scan.leaves().back(),
                   label + " is unique but holds the same key twice (rows on pages " +
                       std::to_string(prev.page) + " and " + std::to_string(e.page) +
                       "). Repair the database in Access.");
        }
        if (!reportedTarget && !liveHeaders.contains(RowPtr{e.page, e.row})) {
          reportedTarget = true;
          r_.error(name, scan.leaves().back(),
                   label + " points to a row that does not exist (page " + std::to_string(e.page) +
                       ", row " + std::to_string(e.row) + "). Compact or repair the database.");
        }
        std::swap(prev, e);  // e's storage is reused by the next entry
        first = false;
      }
    } catch (const Corrupt& e) {
      r_.error(name, index.rootPage,
               label + "'s leaf pages cannot be walked (" + e.description() + ").");
      return;
    }
    const bool ignoreNulls = (index.flags & index_flag::kIgnoreNulls) != 0;
    if (count != liveHeaders.size() && !(ignoreNulls && count < liveHeaders.size()))
      r_.error(name, index.rootPage,
               label + " has " + std::to_string(count) + " entries for " +
                   std::to_string(liveHeaders.size()) + " rows. Compact or repair the database.");
  }

  void checkGlobalMap() {
    UsageMap global;
    try {
      global = readGlobalMap(db_);
    } catch (const Corrupt& e) {
      r_.error("", 1, "The map of free pages cannot be read (" + e.description() + ").");
      return;
    }
    for (uint32_t pg : holders_) claimPage(pg, "the usage maps");
    std::vector<bool> isFree(db_.pageCount(), false);
    for (uint32_t pg : global.pages) isFree[pg] = true;
    size_t leaked = 0, wronglyFree = 0;
    uint32_t firstWrong = 0;
    for (uint32_t pg = 0; pg < db_.pageCount(); ++pg) {
      if (claims_.claimed(pg) && isFree[pg]) {
        if (wronglyFree++ == 0) firstWrong = pg;
      } else if (!claims_.claimed(pg) && !isFree[pg] &&
                 (global.kind == UsageMap::Kind::Reference ||
                  (pg >= global.startPage && pg < global.capacityEnd))) {
        ++leaked;
      }
    }
    if (wronglyFree)
      r_.error("", firstWrong,
               std::to_string(wronglyFree) + " page(s) in use are marked free (the first: " +
                   std::to_string(firstWrong) + " of " + claims_.owner(firstWrong) +
                   "); new data would overwrite them. Compact the database now.");
    if (leaked)
      r_.info("", 0,
              std::to_string(leaked) +
                  " page(s) are neither used nor marked free; compaction gives them back.");
  }

  const Database& db_;
  Reporter r_;
  PageClaims claims_;
  std::unordered_set<uint32_t> lvalRows_;
  std::set<uint32_t> holders_;
  bool missingLvMapReported_ = false;
  uint32_t pagesDone_ = 0;
  bool inUse_ = false;  // another program has the file open: slots may be busy
};

}  // namespace

void checkDatabase(const Database& db, CheckReport& report) {
  Checker checker(db, report);
  checker.run();
}

}  // namespace jet
