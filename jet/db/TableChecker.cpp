// The table part of the integrity check: definition, usage maps, data pages,
// rows, values and memo/OLE chains; then each index against the live rows.
#include <algorithm>
#include <map>
#include <optional>
#include <unordered_set>

#include "jet/db/CheckContext.h"
#include "jet/db/Database.h"
#include "jet/db/RowMap.h"
#include "jet/db/Value.h"
#include "jet/format/DataPage.h"
#include "jet/format/LongValue.h"
#include "jet/format/Row.h"
#include "jet/format/UsageMap.h"

namespace jet {
namespace {

// Where a row's fixed columns end and its variable-length data begins: in
// a row the definition describes, the one never reaches the other.
struct RowSpans {
  void add(const Column& col, const Field& f) {
    if (f.null || col.type == column_type::kBoolean) return;
    const uint8_t* begin = f.bytes.data();
    if (!col.fixed()) {
      varStart = varStart ? std::min(varStart, begin) : begin;
    } else if (!fixedEnd || begin + f.bytes.size() > fixedEnd) {
      fixedEnd = begin + f.bytes.size();
      widest = &col;
    }
  }
  bool overlap() const { return varStart && fixedEnd && fixedEnd > varStart; }

  const uint8_t* varStart = nullptr;
  const uint8_t* fixedEnd = nullptr;
  const Column* widest = nullptr;  // the fixed column that ends last
};

class TableCheck {
 public:
  TableCheck(CheckContext& c, const std::string& name, const TableDef& def)
      : c_(c), name_(name), def_(def) {
    dataClaimant_ = c.claims.claimant("table '" + name + "'");
    lvClaimant_ = c.claims.claimant("the memo/OLE data of table '" + name + "'");
    for (const Column& col : def.columns)
      if (col.type == column_type::kLong && (col.flags & column_flag::kAutoNumber))
        autoColumn_ = &col;
  }

  void run() {
    const uint32_t defClaimant = c_.claims.claimant("the definition of table '" + name_ + "'");
    for (uint32_t pg : def_.pages) c_.claimPage(pg, defClaimant, name_);
    checkLayout();
    if (def_.parsedLength != def_.length)
      c_.r.info(name_, def_.firstPage,
                "The table definition holds " + std::to_string(def_.length - def_.parsedLength) +
                    " bytes after its last section; they are kept as they are.");
    const std::optional<UsageMap> owned = readMap(def_.ownedMap, "table '" + name_ + "'");
    if (!owned) return;
    checkFreeMap(*owned);
    readLongValueMaps();
    for (uint32_t pg : dataPages(*owned)) checkPage(pg);
    c_.listed[def_.firstPage] = {name_, owned->pages};
    std::sort(live_.begin(), live_.end());
    const RowMap live(live_, c_.db.pageCount());
    bool vouched = false;  // an index names exactly the rows read
    for (const RealIndex& index : def_.realIndexes)
      vouched = checkIndex(c_, name_, def_, index, live, liveCount_ < def_.numRows) || vouched;
    checkCounts(vouched);
  }

 private:
  // A layout that cannot hold the rows reads every row wrongly; compaction
  // refuses to copy rows read so.
  void checkLayout() {
    if (const std::optional<std::string> fault = layoutFault(def_))
      c_.r.error(name_, def_.firstPage,
                 *fault + ": the table definition does not describe its rows." + advice::kRestore);
    if (const std::optional<std::string> twice = sharedColumnName(def_))
      c_.r.error(name_, def_.firstPage,
                 "Two columns are named '" + *twice +
                     "': the table definition is damaged, and readers find only one of them." +
                     advice::kRestore);
  }

  // Marks the holder page of a map row and its bitmap pages as used.
  std::optional<UsageMap> readMap(RowPtr where, const std::string& what) {
    try {
      UsageMap map = readUsageMap(c_.db.pages(), where);
      c_.mapHolders.insert(where.page);
      for (uint32_t bp : map.bitmapPages) c_.claimPage(bp, c_.mapsClaimant, name_);
      return map;
    } catch (const Corrupt& e) {
      c_.r.error(name_, where.page,
                 "The page list of " + what + " cannot be read (" + e.description() + ")." +
                     (where == def_.ownedMap ? advice::kSalvage : advice::kCompact));
      return std::nullopt;
    }
  }

  std::vector<uint32_t> dataPages(const UsageMap& owned) {
    std::vector<uint32_t> pages;
    for (uint32_t pg : owned.pages) {
      const std::optional<uint32_t> owner = dataOwnerOf(pg);
      if (!owner) continue;
      if (*owner != def_.firstPage) {
        foreign_.emplace_back(pg, *owner != 0);
        continue;
      }
      c_.claimPage(pg, dataClaimant_, name_);
      pages.push_back(pg);
    }
    return pages;
  }

  // The table a data page names, 0 for a page of another kind; nothing when
  // it cannot be read.
  std::optional<uint32_t> dataOwnerOf(uint32_t pg) {
    try {
      const Page page = c_.db.page(pg);
      return page.bytes().u8(0) == page_type::kData ? page.bytes().u32(4) : 0;
    } catch (const Corrupt& e) {
      c_.r.error(name_, pg,
                 "The data page cannot be read (" + e.description() + ")." + advice::kSalvage);
      return std::nullopt;
    }
  }

  void checkFreeMap(const UsageMap& owned) {
    if (def_.freeMap.null()) return;
    const std::optional<UsageMap> freeMap =
        readMap(def_.freeMap, "table '" + name_ + "' (free space)");
    if (!freeMap) return;
    for (uint32_t pg : freeMap->pages)
      if (!std::binary_search(owned.pages.begin(), owned.pages.end(), pg)) {
        c_.r.warning(name_, pg,
                     pageText(pg) + " is in the table's free-space list but not among its pages." +
                         advice::kCompact);
        return;
      }
  }

  void readLongValueMaps() {
    for (const LongValueMap& m : def_.longValueMaps) {
      const std::optional<UsageMap> map = readMap(m.owned, "a memo/OLE column of '" + name_ + "'");
      if (map) lvPages_[m.column] = map->pages;
      if (!m.free.null()) readMap(m.free, "a memo/OLE column of '" + name_ + "'");
    }
  }

  void checkPage(uint32_t pg) {
    c_.poll();
    std::optional<DataPage> page;
    try {
      page.emplace(c_.db.page(pg), c_.db.format());
    } catch (const Corrupt& e) {
      c_.r.error(name_, pg,
                 "The data page is damaged (" + e.description() + ")." + advice::kSalvage);
      return;
    }
    if (page->rowCount() > 255)
      c_.r.error(name_, pg,
                 "The data page claims " + std::to_string(page->rowCount()) +
                     " rows, more than a page can address." + advice::kSalvage);
    if (page->computedFreeSpace() != page->freeSpace())
      c_.r.error(name_, pg,
                 "The page's free-space count (" + std::to_string(page->freeSpace()) +
                     ") does not match its rows (" + std::to_string(page->computedFreeSpace()) +
                     ")." + advice::kCompact);
    const uint16_t rows = std::min<uint16_t>(page->rowCount(), 256);
    for (uint16_t r = 0; r < rows; ++r) checkRow(*page, r);
  }

  void checkRow(const DataPage& page, uint16_t r) {
    const uint32_t pg = page.number();
    RowSlot slot;
    try {
      slot = page.slot(r);
    } catch (const Corrupt& e) {
      c_.r.error(name_, pg,
                 "Row " + std::to_string(r) + ": " + e.description() + "." + advice::kSalvage);
      return;
    }
    if (slot.deleted()) return;
    const RowPtr header{pg, static_cast<uint8_t>(r)};
    RowPtr stored = header;
    try {
      if (slot.lookup()) checkOverflow(header, slot);
      slot = readRow(c_.db.pages(), header, &stored);
      ++liveCount_;
      live_.push_back(header.raw());
      checkFields(header, slot.bytes);
    } catch (const Corrupt& e) {
      c_.r.error(name_, stored.page,
                 "Row " + std::to_string(stored.row) + " cannot be read (" + e.description() +
                     ")." + advice::kSalvage);
    }
  }

  void checkOverflow(RowPtr header, const RowSlot& pointer) {
    const RowPtr target = RowPtr::fromRaw(pointer.bytes.u32(0));
    const RowSlot raw = readSlot(c_.db.pages(), target);
    if (!raw.deleted())
      c_.r.error(name_, header.page,
                 "Row " + std::to_string(header.row) + " points to an overflow row (page " +
                     std::to_string(target.page) + ", row " + std::to_string(target.row) +
                     ") that is not marked as one." + advice::kCompact);
    if (!overflowTargets_.insert(target.raw()).second)
      c_.r.error(name_, target.page,
                 "Two rows share one overflow row." + std::string(advice::kCompact));
  }

  void checkFields(RowPtr header, ByteView row) {
    const RowFields fields(def_, c_.db.jet4(), row);
    if (fields.storedColumns() > def_.maxCols)
      throwCorrupt("the row stores more columns than the table has");
    RowSpans spans;
    for (const Column& col : def_.columns) {
      const Field f = fields.field(col);
      spans.add(col, f);
      if (col.longValue()) {
        if (!f.null && !f.bytes.empty()) checkLongValue(header, col, f.bytes);
        continue;
      }
      if (col.type == column_type::kText) continue;  // any bytes decode: nothing to find
      decodeValue(c_.db, col, f, value_);
      if (&col == autoColumn_ && value_.kind == Value::Kind::Integer)
        autoMax_ = std::max(autoMax_, value_.integer);
    }
    if (spans.overlap() && !overlapSeen_) {
      overlapSeen_ = true;
      c_.r.error(name_, header.page,
                 "Row " + std::to_string(header.row) + ": column '" + spans.widest->name +
                     "' runs into the row's variable-length data: the table definition does not "
                     "describe its rows." +
                     advice::kRestore);
    }
  }

  void checkLongValue(RowPtr header, const Column& col, ByteView field) {
    const auto listed = lvPages_.find(col.number);
    forEachPiece(c_.db.pages(), field, [&](ByteView, RowPtr at) {
      if (at.null()) return;  // inline
      if (!c_.lvRows.use(at.page, at.row))
        c_.r.error(name_, at.page,
                   "A memo/OLE piece (row " + std::to_string(at.row) +
                       ") is used by two values; changing one changes the other." +
                       advice::kCompact);
      if (listed != lvPages_.end() &&
          !std::binary_search(listed->second.begin(), listed->second.end(), at.page))
        c_.r.error(name_, at.page,
                   "The memo/OLE page used by column '" + col.name + "' of row " +
                       std::to_string(header.row) + " on " + pageText(header.page) +
                       " is missing from the column's page list." + advice::kCompact);
      c_.claimPage(at.page, lvClaimant_, name_);
    });
  }

  // Listed pages that are no data page of the table: where rows were lost
  // when the count says so, else stale entries compaction leaves out. The
  // catalog's pages are its tables, so for it any such page is an error.
  void reportForeign(bool rowsShort) {
    for (const auto& [pg, otherTable] : foreign_) {
      const std::string what = pageText(pg) + " is listed as the table's data page but " +
                               (otherTable ? "belongs to another table" : "is not a data page") +
                               ".";
      if (rowsShort || def_.firstPage == 2)
        c_.r.error(name_, pg, what + (rowsShort ? advice::kSalvage : advice::kCompact));
      else
        c_.r.warning(name_, pg, what + advice::kCompact);
    }
  }

  // A count above the rows read means rows were lost, unless an index that
  // names exactly those rows shows the count alone is wrong.
  void checkCounts(bool vouched) {
    reportForeign(liveCount_ < def_.numRows && !vouched);
    const std::string counts = "The table definition counts " + std::to_string(def_.numRows) +
                               " rows, the table holds " + std::to_string(liveCount_);
    if (liveCount_ < def_.numRows && vouched)
      c_.r.warning(name_, def_.firstPage,
                   counts + "; an index names exactly the rows found, so only the count is wrong." +
                       advice::kCompact);
    else if (liveCount_ < def_.numRows)
      c_.r.error(name_, def_.firstPage, counts + ": rows are missing." + advice::kSalvage);
    else if (liveCount_ > def_.numRows)
      c_.r.info(name_, def_.firstPage, counts + "; compaction corrects the count.");
    if (autoColumn_ && autoMax_ > static_cast<int32_t>(def_.autoNumber))
      c_.r.warning(name_, def_.firstPage,
                   "The AutoNumber counter (" +
                       std::to_string(static_cast<int32_t>(def_.autoNumber)) +
                       ") is below the highest value in column '" + autoColumn_->name + "' (" +
                       std::to_string(autoMax_) + "); new rows could collide." + advice::kCompact);
  }

  CheckContext& c_;
  const std::string& name_;
  const TableDef& def_;
  uint32_t dataClaimant_ = 0, lvClaimant_ = 0;
  const Column* autoColumn_ = nullptr;
  int64_t autoMax_ = 0;
  uint64_t liveCount_ = 0;
  std::vector<uint32_t> live_;                      // header slots of the rows read
  std::vector<std::pair<uint32_t, bool>> foreign_;  // listed, not its data page: another's?
  std::unordered_set<uint32_t> overflowTargets_;
  bool overlapSeen_ = false;
  std::map<uint16_t, std::vector<uint32_t>> lvPages_;  // each memo/OLE column's pages
  Value value_;
};

}  // namespace

void checkTable(CheckContext& c, const CatalogEntry& table) {
  const TableDef* def = nullptr;
  try {
    def = &c.db.tableDef(table.tdefPage());
  } catch (const Corrupt& e) {
    c.r.error(table.name, table.tdefPage(),
              "The table definition cannot be read (" + e.description() +
                  "); the table is lost unless a backup has it." + advice::kRestore);
    return;
  }
  TableCheck(c, table.name, *def).run();
}

}  // namespace jet
