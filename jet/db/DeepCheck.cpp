#include "jet/db/DeepCheck.h"

#include <optional>

#include "jet/db/CheckContext.h"
#include "jet/db/Database.h"
#include "jet/db/RowKeys.h"
#include "jet/db/TableScan.h"
#include "jet/format/IndexPage.h"

namespace jet {
namespace {

std::string rowText(RowPtr r) {
  return "page " + std::to_string(r.page) + ", row " + std::to_string(r.row);
}

// Walks the stored entries alongside the ones made from rows; remembers the
// first that differs.
class Comparison : public IndexVisitor {
 public:
  Comparison(const KeyedEntries& made, const std::vector<uint32_t>& headers)
      : made_(made), headers_(headers) {}

  void onEntry(const IndexEntry& e) override {
    if (difference) return;
    if (at_ == made_.entries.size()) {
      difference = "holds an entry for " + rowText(e.row) + " that its rows do not make";
      return;
    }
    const KeyedEntries::Entry& m = made_.entries[at_];
    const RowPtr row = RowPtr::fromRaw(headers_[m.row]);
    if (!(e.row == row))
      difference =
          "holds an entry for " + rowText(e.row) + " where its rows make one for " + rowText(row);
    else if (!(e.key == made_.key(m)))
      difference = "holds a key for " + rowText(row) + " that differs from the one its row makes";
    else
      ++at_;
  }

  void finish() {
    if (!difference && at_ < made_.entries.size())
      difference =
          "lacks the entry for " + rowText(RowPtr::fromRaw(headers_[made_.entries[at_].row]));
  }

  std::optional<std::string> difference;
  uint64_t matched() const { return at_; }

 private:
  const KeyedEntries& made_;
  const std::vector<uint32_t>& headers_;
  size_t at_ = 0;
};

struct IndexWork {
  const RealIndex* index;
  std::optional<RowKeys> maker;
  KeyedEntries made;
};

// Every supported index's entries from the rows; false when the rows cannot
// all be read (the table check reports why).
bool makeEntries(CheckContext& c, const TableDef& def, std::vector<IndexWork>& work,
                 std::vector<uint32_t>& headers) {
  try {
    TableScan scan(c.db, def);
    RawRow row;
    while (scan.next(row)) {
      if ((headers.size() & 1023) == 0) c.poll();
      const auto position = static_cast<uint32_t>(headers.size());
      headers.push_back(row.header.raw());
      for (IndexWork& w : work)
        if (w.maker) w.made.add(*w.maker, position, row.bytes);
    }
  } catch (const Corrupt&) {
    return false;
  }
  return true;
}

void compareIndex(CheckContext& c, const std::string& table, const TableDef& def, IndexWork& w,
                  const std::vector<uint32_t>& headers) {
  const std::string label = indexLabel(def, *w.index);
  if (w.made.uncertain) {
    c.r.info(table, w.index->rootPage,
             label +
                 " holds text keys longer than 508 bytes, which Access cuts by a rule not "
                 "known here; it is not compared with its rows.");
    return;
  }
  w.made.sort();
  Comparison compared(w.made, headers);
  try {
    walkIndex(c.db.pages(), w.index->rootPage, def.firstPage, compared);
  } catch (const Corrupt&) {
    return;  // the index check reports the damage
  }
  compared.finish();
  c.report.indexEntriesChecked += compared.matched();
  if (compared.difference)
    c.r.error(
        table, w.index->rootPage,
        label + " does not match its rows: it " + *compared.difference + "." + advice::kCompact);
}

}  // namespace

void deepCheckTable(CheckContext& c, const CatalogEntry& table) {
  const TableDef* def = nullptr;
  try {
    def = &c.db.tableDef(table.tdefPage());
  } catch (const Corrupt&) {
    return;
  }
  std::vector<IndexWork> work(def->realIndexes.size());
  for (size_t k = 0; k < work.size(); ++k) {
    work[k].index = &def->realIndexes[k];
    if (auto why = RowKeys::unsupported(c.db, *def, *work[k].index))
      c.r.info(table.name, work[k].index->rootPage,
               indexLabel(*def, *work[k].index) + " is not compared with its rows: " + *why + ".");
    else
      work[k].maker.emplace(c.db, *def, *work[k].index);
  }
  std::vector<uint32_t> headers;
  if (!makeEntries(c, *def, work, headers)) return;
  const uint64_t before = c.report.indexEntriesChecked;
  for (IndexWork& w : work)
    if (w.maker) compareIndex(c, table.name, *def, w, headers);
  if (c.report.indexEntriesChecked > before) ++c.report.tablesCompared;
}

}  // namespace jet
