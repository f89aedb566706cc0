#include "jet/compact/Salvage.h"

#include <algorithm>
#include <map>
#include <set>

#include "jet/compact/IndexWalk.h"
#include "jet/db/Database.h"
#include "jet/db/PageCensus.h"
#include "jet/db/RowMap.h"
#include "jet/db/TableScan.h"
#include "jet/db/Value.h"
#include "jet/format/DataPage.h"
#include "jet/format/IndexPage.h"
#include "jet/format/LongValue.h"
#include "jet/format/Row.h"
#include "jet/format/UsageMap.h"

namespace jet::compact {
namespace {

std::string place(RowPtr p) {
  return "page " + std::to_string(p.page) + ", slot " + std::to_string(p.row);
}

// A primary key as "ID=7", for keys of whole numbers; else its bytes in hex.
std::string keyText(const TableDef& def, const RealIndex& index, ByteView key) {
  std::string text;
  size_t at = 0;
  for (const IndexColumn& ic : index.columns) {
    const Column* c = def.columnByNumber(ic.column);
    const size_t width = !c                                 ? 0
                         : c->type == column_type::kByte    ? 1
                         : c->type == column_type::kInteger ? 2
                         : c->type == column_type::kLong    ? 4
                                                            : 0;
    if (width == 0 || at + 1 + width > key.size()) break;
    const uint8_t invert = ic.ascending ? 0x00 : 0xFF;
    if (!text.empty()) text += ", ";
    text += c->name + "=";
    if (static_cast<uint8_t>(key.u8(at) ^ invert) != 0x7F) {
      text += "null";
      at += 1;
      continue;
    }
    uint32_t v = 0;
    for (size_t i = 0; i < width; ++i)
      v = (v << 8) | static_cast<uint8_t>(key.u8(at + 1 + i) ^ invert);
    if (width == 1) {
      text += std::to_string(v);
    } else {
      v ^= 1u << (8 * width - 1);
      const int64_t s = width == 2 ? static_cast<int16_t>(v) : static_cast<int32_t>(v);
      text += std::to_string(s);
    }
    at += 1 + width;
  }
  if (at == key.size() && !text.empty()) return text;
  static const char* const kHex = "0123456789abcdef";
  text = "key ";
  for (uint8_t b : key) text += {kHex[b >> 4], kHex[b & 15]};
  return text;
}

// What the indexes say of the lost rows: which rows they name on the lost
// pages, and each one's primary key.
class LostEntries : public IndexVisitor {
 public:
  LostEntries(const std::set<uint32_t>& pages, const std::map<uint32_t, std::string>& slots)
      : pages_(pages), slots_(slots) {}
  void onEntry(const IndexEntry& e) override {
    if (!pages_.count(e.row.page) && !slots_.count(e.row.raw())) return;
    found.insert(e.row.raw());
    if (primary) keys[e.row.raw()].assign(e.key.begin(), e.key.end());
  }
  bool primary = false;
  std::set<uint32_t> found;
  std::map<uint32_t, std::vector<uint8_t>> keys;

 private:
  const std::set<uint32_t>& pages_;
  const std::map<uint32_t, std::string>& slots_;
};

// Whether an index names each of the rows once and nothing else.
class ExactCover : public IndexVisitor {
 public:
  explicit ExactCover(const RowMap& rows) : rows_(rows), seen_(rows.size(), false) {}
  void onEntry(const IndexEntry& e) override {
    rowNamedOnce(rows_, seen_, 0, e);
    ++count_;
  }
  bool exact() const { return count_ == rows_.size(); }

 private:
  const RowMap& rows_;
  std::vector<bool> seen_;
  uint32_t count_ = 0;
};

class Salvager {
 public:
  Salvager(const Database& db, const TableDef& def, const std::string& table,
           const PageCensus& census)
      : db_(db), def_(def), table_(table), census_(census) {}

  TableRows run(bool salvage) {
    const std::vector<uint32_t> listed = listedPages(salvage);
    if (salvage) {
      for (uint32_t pg : listed) readPage(pg);
    } else {
      std::vector<uint32_t> over;
      rows_.live = liveRows(db_, def_, &over);
      for (uint32_t pg : over) pages_[pg] = "it is listed as a data page of the table but is none";
    }
    unlisted(listed, salvage);
    if (!pages_.empty() || !slots_.empty()) report();
    std::sort(rows_.live.begin(), rows_.live.end());
    counted(salvage);
    return std::move(rows_);
  }

 private:
  // The pages the table's map lists. Salvage gets past a map that cannot be
  // read: the census finds the pages by their owner.
  std::vector<uint32_t> listedPages(bool salvage) {
    std::vector<uint32_t> pages = mapPages(salvage);
    // The catalog page salvage added after the file's last is the catalog's own.
    if (def_.firstPage == 2)
      pages.insert(pages.end(), db_.extraCatalogPages().begin(), db_.extraCatalogPages().end());
    return pages;
  }

  std::vector<uint32_t> mapPages(bool salvage) {
    if (!salvage) return readUsageMap(db_.pages(), def_.ownedMap).pages;
    if (def_.ownedMap.null()) {  // a definition standing in for a lost one: no map of this file
      unlistedWhy_ = "found by the page's owner, as the table's definition is not the file's own";
      return {};
    }
    try {
      return readUsageMap(db_.pages(), def_.ownedMap).pages;
    } catch (const Corrupt& e) {
      unlistedWhy_ = "the table's usage map cannot be read (" + e.description() + ")";
      return {};
    }
  }

  // Data pages that name the table, hold rows and are not free, though its
  // map does not list them: its structures disagree. Salvage takes the rows.
  void unlisted(const std::vector<uint32_t>& listed, bool salvage) {
    for (uint32_t pg : census_.dataPagesOf(def_.firstPage)) {
      if (std::binary_search(listed.begin(), listed.end(), pg)) continue;
      const uint32_t live = liveSlots(db_, pg);
      if (live == 0) continue;
      // Another table's map lists it: that table takes its rows.
      if (salvage && listedByAnother(pg)) continue;
      if (!salvage) {
        if (!rows_.refusal)
          rows_.refusal =
              Refusal{pg, "data page " + std::to_string(pg) + " holds " + std::to_string(live) +
                              " rows of the table, but the table's usage map does not list it "
                              "(jetdb compact --salvage copies them and lists them as recovered)"};
        continue;
      }
      const size_t before = rows_.live.size();
      readPage(pg);
      const auto kept = static_cast<int64_t>(rows_.live.size() - before);
      if (kept > 0) rows_.recovered.push_back({table_, pg, kept, 0, unlistedWhy_, {}});
    }
  }

  // The stored row count is evidence too: rows it names that no page gives
  // are missing. A count below the rows found is only stale.
  void counted(bool salvage) {
    const uint64_t stored = def_.numRows, found = rows_.live.size();
    if (stored <= found || indexNamesFound()) return;
    const uint64_t missing = stored - found;
    if (!salvage) {
      if (rows_.refusal) return;
      std::string what = "the table definition counts " + std::to_string(stored) +
                         " rows and only " + std::to_string(found) + " can be found on its pages";
      uint32_t page = def_.firstPage;
      if (!pages_.empty()) {  // the likely place of the missing rows
        page = pages_.begin()->first;
        what += "; page " + std::to_string(page) + ": " + pages_.begin()->second;
      }
      rows_.refusal =
          Refusal{page, what + " (jetdb compact --salvage copies those and lists what is missing)"};
      return;
    }
    uint64_t known = 0;
    std::vector<RowsLost*> uncounted;
    for (RowsLost& l : rows_.lost) {
      if (l.rows > 0) known += static_cast<uint64_t>(l.rows);
      if (l.rows < 0) uncounted.push_back(&l);
    }
    if (missing <= known) return;
    const auto extra = static_cast<int64_t>(missing - known);
    if (uncounted.size() == 1) {
      uncounted[0]->rows = extra;  // the one page nothing else counts
      return;
    }
    for (RowsLost* l : uncounted) l->rows = 0;  // counted together below
    rows_.lost.push_back({table_,
                          def_.firstPage,
                          extra,
                          0,
                          "the table definition counts " + std::to_string(stored) +
                              " rows; these are on no page that can be read",
                          {}});
  }

  void readPage(uint32_t pg) {
    Page p;
    try {
      p = db_.page(pg);
    } catch (const Corrupt& e) {  // a torn last page
      pages_[pg] = e.description();
      return;
    }
    const ByteView b = p.bytes();
    if (b.u8(0) != page_type::kData) {
      pages_[pg] = "it is listed as a data page of the table but is none";
      return;
    }
    // A data page this table's map lists that names another table, whose
    // map does not list it: the owner field is what is damaged. Long-value
    // pages and map holders are no table's rows.
    const uint32_t owner = b.u32(4);
    if (owner == kLvalOwner) return;  // memo pieces, no rows: the map's bit is stale
    const std::vector<uint32_t>& defs = census_.tableDefinitions();
    if (owner != def_.firstPage &&
        (!std::binary_search(defs.begin(), defs.end(), owner) || listedBy(owner, pg))) {
      pages_[pg] = "it is listed as a data page of the table but is none";
      return;
    }
    const size_t before = rows_.live.size();
    std::optional<DataPage> page;
    try {
      page.emplace(p, db_.format());
      if (page->rowCount() > 255)
        throwCorrupt("its row directory claims " + std::to_string(page->rowCount()) + " rows");
    } catch (const Corrupt& e) {
      pages_[pg] = e.description();
      return;
    }
    Value value;  // one for every field: salvage reads each row of the file
    for (uint16_t r = 0; r < page->rowCount(); ++r) {
      if (page->slotDeleted(r)) continue;
      const RowPtr at{pg, static_cast<uint8_t>(r)};
      try {
        const RowSlot row = readRow(db_.pages(), at);
        const RowFields fields(def_, db_.jet4(), row.bytes);
        if (fields.storedColumns() > def_.maxCols)
          throwCorrupt("the row stores more columns than the table has");
        // A value its type cannot hold would fail the copy's check.
        for (const Column& c : def_.columns)
          if (!c.longValue()) decodeValue(db_, c, fields.field(c), value);
        rows_.live.push_back(at.raw());
      } catch (const Corrupt& e) {
        slots_[at.raw()] = e.description();
      }
    }
    const auto kept = static_cast<int64_t>(rows_.live.size() - before);
    if (owner != def_.firstPage && kept > 0)
      rows_.recovered.push_back({table_,
                                 pg,
                                 kept,
                                 0,
                                 "the page names page " + std::to_string(owner) +
                                     " as its owner, but only this table's usage map lists it",
                                 {}});
  }

  // True when the map of the table defined at tdef lists pg.
  bool listedBy(uint32_t tdef, uint32_t pg) {
    auto it = maps_.find(tdef);
    if (it == maps_.end()) {
      std::vector<uint32_t> pages;
      try {
        if (std::binary_search(census_.tableDefinitions().begin(), census_.tableDefinitions().end(),
                               tdef))
          pages = readUsageMap(db_.pages(), db_.tableDef(tdef).ownedMap).pages;
      } catch (const Corrupt&) {
        // a map that cannot be read lists nothing
      }
      it = maps_.emplace(tdef, std::move(pages)).first;
    }
    return std::binary_search(it->second.begin(), it->second.end(), pg);
  }

  // True when another table's map lists pg.
  bool listedByAnother(uint32_t pg) {
    for (const uint32_t tdef : census_.tableDefinitions())
      if (tdef != def_.firstPage && listedBy(tdef, pg)) return true;
    return false;
  }

  // Counts and names the lost rows from the indexes' entries.
  void report() {
    std::set<uint32_t> pageSet;
    for (const auto& [pg, why] : pages_) pageSet.insert(pg);
    LostEntries lost(pageSet, slots_);
    bool complete = false;  // an index that names every row was read
    const size_t primary = def_.primaryKeyIndex();
    const RealIndex* pk = primary == SIZE_MAX ? nullptr : &def_.realIndexes[primary];
    for (const RealIndex& index : def_.realIndexes) {
      lost.primary = &index == pk;
      try {
        walkIndex(db_.pages(), index.rootPage, def_.firstPage, lost);
        complete = complete || !(index.flags & index_flag::kIgnoreNulls);
      } catch (const Corrupt&) {
        // An index that cannot be read counts nothing.
      }
    }
    const auto name = [&](uint32_t raw) {
      const auto key = lost.keys.find(raw);
      if (key == lost.keys.end() || !pk) return place(RowPtr::fromRaw(raw));
      return keyText(def_, *pk, ByteView(key->second)) + " (" + place(RowPtr::fromRaw(raw)) + ")";
    };
    std::map<uint32_t, RowsLost> byPage;
    for (const auto& [pg, why] : pages_) {
      RowsLost l{table_, pg, 0, 0, why, {}};
      for (auto it = lost.found.lower_bound(RowPtr{pg, 0}.raw());
           it != lost.found.end() && RowPtr::fromRaw(*it).page == pg; ++it)
        l.named.push_back(name(*it));
      l.rows = static_cast<int64_t>(l.named.size());
      if (l.rows == 0 && complete) continue;  // the page held no rows
      if (l.rows == 0) l.rows = -1;           // nothing says how many it held
      byPage.emplace(pg, std::move(l));
    }
    for (const auto& [raw, why] : slots_) {
      const uint32_t pg = RowPtr::fromRaw(raw).page;
      RowsLost& l = byPage.try_emplace(pg, RowsLost{table_, pg, 0, 0, why, {}}).first->second;
      l.rows += 1;
      l.named.push_back(name(raw));
    }
    for (auto& [pg, l] : byPage) rows_.lost.push_back(std::move(l));
  }

  // A complete index whose entries are exactly the rows found: then the
  // count is what is wrong, not the table.
  bool indexNamesFound() const {
    const RowMap rows(rows_.live, db_.pageCount());
    for (const RealIndex& index : def_.realIndexes) {
      if (index.flags & index_flag::kIgnoreNulls) continue;
      ExactCover cover(rows);
      try {
        walkIndex(db_.pages(), index.rootPage, def_.firstPage, cover);
        if (cover.exact()) return true;
      } catch (const Corrupt&) {
        // says nothing either way
      }
    }
    return false;
  }

  const Database& db_;
  const TableDef& def_;
  const std::string& table_;
  const PageCensus& census_;
  std::string unlistedWhy_ = "the table's usage map does not list the page";
  TableRows rows_;
  std::map<uint32_t, std::string> pages_;           // lost whole, why
  std::map<uint32_t, std::string> slots_;           // rows lost alone, why
  std::map<uint32_t, std::vector<uint32_t>> maps_;  // other tables' maps, read when asked
};

}  // namespace

TableRows readableRows(const Database& db, const TableDef& def, const std::string& table,
                       const PageCensus& census, bool salvage) {
  return Salvager(db, def, table, census).run(salvage);
}

std::string lostReport(const CompactResult& result) {
  const std::vector<RowsLost>& lost = result.lost;
  const std::vector<RowsLost>& recovered = result.recovered;
  std::string text =
      "Left out by salvage: table, page, row (primary key, else page and slot), why\n";
  for (const RowsLost& l : lost) {
    const std::string at = l.table + "\tpage " + std::to_string(l.page) + "\t";
    if (l.rows < 0) text += at + "rows that cannot be counted\t" + l.reason + "\n";
    if (l.rows == 0 && l.named.empty()) text += at + "no rows\t" + l.reason + "\n";
    if (l.named.empty() && l.rows > 0)
      text += at + std::to_string(l.rows) + " rows that cannot be named\t" + l.reason + "\n";
    for (const std::string& n : l.named) text += at + n + "\t" + l.reason + "\n";
  }
  if (!result.fromTemplate.empty()) text += "Taken from the template\n";
  for (const std::string& t : result.fromTemplate) text += t + "\n";
  if (!result.madeAfresh.empty()) text += "Made afresh\n";
  for (const std::string& t : result.madeAfresh) text += t + "\n";
  if (recovered.empty()) return text;
  text +=
      "Kept by salvage though the table's own structures did not reach them: table, page, "
      "rows, why\n";
  for (const RowsLost& r : recovered)
    text += r.table + "\tpage " + std::to_string(r.page) + "\t" + std::to_string(r.rows) +
            " rows\t" + r.reason + "\n";
  return text;
}

}  // namespace jet::compact
