// The index part of the integrity check. An index is searched from its root:
// at each node the first entry not below the target leads to its child, and
// past the last entry the tail child. So a lookup goes wrong exactly where a
// subtree holds an entry above its node entry or not above the entry before;
// a bound above everything in its subtree is merely stale.
#include <algorithm>
#include <optional>

#include "jet/db/CheckContext.h"
#include "jet/db/Database.h"
#include "jet/db/RowMap.h"
#include "jet/format/DataPage.h"
#include "jet/format/IndexPage.h"
#include "jet/format/Row.h"
#include "jet/format/UsageMap.h"

namespace jet {
namespace {

int compare(const IndexEntry& a, const IndexEntry& b) {
  return compareEntries(a.key, a.row, b.key, b.row);
}

class IndexCheck : public IndexVisitor {
 public:
  IndexCheck(CheckContext& c, const std::string& table, const TableDef& def, const RealIndex& index,
             const std::string& label, const RowMap& live, bool rowsShort)
      : c_(c),
        table_(table),
        def_(def),
        index_(index),
        label_(label),
        live_(live),
        rowsShort_(rowsShort),
        seen_(live.size()) {
    claimant_ = c.claims.claimant("index pages of table '" + table + "'");
  }

  void onPage(const IndexPage& p, int) override {
    c_.poll();
    treePages_.push_back(p.number);
    for (size_t k = 1; k < p.size(); ++k)
      if (!entryLess(p[k - 1], p[k])) {
        once(orderOnPage_, p.number, ": entries on the page are out of order.");
        break;
      }
    if (p.leaf()) checkLeafLinks(p);
  }

  void onChild(const IndexPage& node, const IndexEntry* bound, const IndexEntry* before,
               const IndexEntry* first, const IndexEntry* last) override {
    if (bound && last && compare(*last, *bound) > 0)
      once(boundTooLow_, node.number,
           ": a node entry is below an entry of its child's subtree, so lookups of that entry "
           "fail.");
    else if (before && first && compare(*first, *before) <= 0)
      once(boundTooLow_, node.number,
           ": a child's subtree holds an entry not above the node entry before it, so lookups "
           "of that entry fail.");
    else if (bound && (!last || compare(*last, *bound) < 0))
      ++staleBounds_;
  }

  void onEntry(const IndexEntry& e) override {
    if (count_ > 0) {
      const IndexEntry previous{ByteView(prevKey_), ByteView(), prevRow_, 0};
      const int order = compare(previous, e);
      if (order >= 0)
        once(orderAlongLeaves_, leaf_, ": entries along the leaf pages are out of order.");
      if (unique() && order < 0 && e.key == previous.key && !duplicate_ &&
          keyHeldOnce(c_.db, def_, index_, e)) {
        duplicate_ = true;
        c_.r.error(table_, leaf_,
                   label_ + " is unique but holds the same key twice (rows on pages " +
                       std::to_string(prevRow_.page) + " and " + std::to_string(e.row.page) + ")." +
                       advice::kFixRows);
      }
    }
    const uint32_t at = live_.find(e.row);
    if (at != RowMap::kNone) {
      twice_ = twice_ || seen_[at];
      seen_[at] = true;
    }
    if (at == RowMap::kNone && !deadRow_) {
      deadRow_ = true;
      c_.offRows.insert(index_.rootPage);
      c_.r.error(table_, leaf_,
                 label_ + " points to a row that does not exist (page " +
                     std::to_string(e.row.page) + ", row " + std::to_string(e.row.row) + ")." +
                     lostOrWrong());
    }
    prevKey_.assign(e.key.begin(), e.key.end());
    prevRow_ = e.row;
    ++count_;
  }

  bool exact() const {
    return !(index_.flags & index_flag::kIgnoreNulls) && count_ == live_.size() && !deadRow_ &&
           !twice_;
  }

  void finish(const std::optional<UsageMap>& map) {
    if (lastLeafNext_ != 0) once(links_, lastLeaf_, ": the last leaf page links to a next page.");
    for (uint32_t pg : treePages_) c_.claimPage(pg, claimant_, table_);
    if (map) {
      std::sort(treePages_.begin(), treePages_.end());
      if (treePages_ != map->pages)
        c_.r.error(table_, index_.rootPage,
                   label_ + ": the index's page list does not match its tree (" +
                       std::to_string(map->pages.size()) + " listed, " +
                       std::to_string(treePages_.size()) + " in the tree)." + advice::kCompact);
    }
    if (staleBounds_)
      c_.r.info(table_, index_.rootPage,
                label_ + ": " + std::to_string(staleBounds_) +
                    " node entries are above everything their child holds; lookups still "
                    "work, and compaction tightens them.");
    const bool ignoreNulls = (index_.flags & index_flag::kIgnoreNulls) != 0;
    if (count_ != live_.size() && !(ignoreNulls && count_ < live_.size())) {
      // More entries than rows: rows may be lost. Fewer: the index is made again.
      c_.offRows.insert(index_.rootPage);
      c_.r.error(table_, index_.rootPage,
                 label_ + " has " + std::to_string(count_) + " entries for " +
                     std::to_string(live_.size()) + " rows." +
                     (count_ > live_.size() ? lostOrWrong() : advice::kCompact));
    }
  }

 private:
  // Entries for rows not read: lost rows when the table counts more rows
  // than it holds, else an index compaction makes again.
  const char* lostOrWrong() const { return rowsShort_ ? advice::kSalvage : advice::kCompact; }

  bool unique() const { return (index_.flags & index_flag::kUnique) != 0; }

  // Leaves are linked in tree order, for scans that run along them.
  void checkLeafLinks(const IndexPage& p) {
    const uint32_t expectedPrev = lastLeaf_;
    if (p.prev != expectedPrev || (lastLeaf_ != 0 && lastLeafNext_ != p.number))
      once(links_, p.number, ": the leaf pages are not linked in the order of the tree.");
    lastLeaf_ = p.number;
    lastLeafNext_ = p.next;
    leaf_ = p.number;
  }

  void once(bool& reported, uint32_t pg, const std::string& what) {
    if (reported) return;
    reported = true;
    c_.r.error(table_, pg, label_ + what + advice::kCompact);
  }

  CheckContext& c_;
  const std::string& table_;
  const TableDef& def_;
  const RealIndex& index_;
  std::string label_;
  const RowMap& live_;
  bool rowsShort_;
  uint32_t claimant_ = 0;
  std::vector<uint32_t> treePages_;
  uint32_t lastLeaf_ = 0, lastLeafNext_ = 0, leaf_ = 0;
  std::vector<uint8_t> prevKey_;
  RowPtr prevRow_;
  uint64_t count_ = 0, staleBounds_ = 0;
  bool orderOnPage_ = false, orderAlongLeaves_ = false, boundTooLow_ = false, links_ = false;
  bool duplicate_ = false, deadRow_ = false, twice_ = false;
  std::vector<bool> seen_;  // each live row named yet
};

}  // namespace

// One column: the key's flag byte says null. More: the row says, as a key
// does not show where one column's bytes end.
bool keyHeldOnce(const Database& db, const TableDef& def, const RealIndex& index,
                 const IndexEntry& e) {
  if (index.columns.size() == 1)
    return !e.key.empty() && e.key.u8(0) != 0x00 && e.key.u8(0) != 0xFF;
  try {
    const RowSlot row = readRow(db.pages(), e.row);
    const RowFields fields(def, db.jet4(), row.bytes);
    for (const IndexColumn& ic : index.columns) {
      const Column* c = def.columnByNumber(ic.column);
      if (!c || fields.field(*c).null) return false;
    }
    return true;
  } catch (const Corrupt&) {
    return false;
  }
}

std::string indexLabel(const TableDef& def, const RealIndex& index) {
  const LogicalIndex* li = def.logicalIndexOf(index);
  return li ? "Index '" + li->name + "'" : "Index " + std::to_string(index.number);
}

bool checkIndex(CheckContext& c, const std::string& table, const TableDef& def,
                const RealIndex& index, const RowMap& live, bool rowsShort) {
  const std::string label = indexLabel(def, index);
  std::optional<UsageMap> map;
  try {
    map = readUsageMap(c.db.pages(), index.usageMap);
    c.mapHolders.insert(index.usageMap.page);
    for (uint32_t bp : map->bitmapPages) c.claimPage(bp, c.mapsClaimant, table);
  } catch (const Corrupt& e) {
    c.r.error(
        table, index.usageMap.page,
        label + ": its page list cannot be read (" + e.description() + ")." + advice::kCompact);
  }
  IndexCheck check(c, table, def, index, label, live, rowsShort);
  try {
    walkIndex(c.db.pages(), index.rootPage, def.firstPage, check);
  } catch (const Corrupt& e) {
    c.r.error(table, index.rootPage,
              label + " is damaged (" + e.description() + ")." + advice::kCompact);
    return false;
  }
  check.finish(map);
  return check.exact();
}

}  // namespace jet
