#include "jet/CompactWriter.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <string>

#include "jet/Compact.h"
#include "jet/DataPageBuilder.h"
#include "jet/Error.h"
#include "jet/IndexBuilder.h"
#include "jet/UsageMapBuilder.h"
#include "jet/WritePages.h"

namespace jet::compact {

namespace {

constexpr uint32_t kLvalOwner = 0x4C41564C;  // "LVAL"

// The LVAL pages of one memo/OLE column.
struct LongValuePages {
  DataPageBuilder page;
  uint32_t pg = 0;
  std::vector<uint32_t> pages, freePages;
  explicit LongValuePages(const Format& f) : page(f, kLvalOwner) {}
};

// One index's entries as read from the source: key bytes and the position
// of the row they point at.
struct SourceIndex {
  std::vector<uint8_t> keys;
  struct Entry {
    size_t offset;
    uint16_t keyLength;
    uint32_t row;
  };
  std::vector<Entry> entries;
};

uint32_t pointerOf(const EntryRef& e) {
  const uint8_t* p = e.data + e.size - 4;
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool sameKey(const EntryRef& a, const EntryRef& b) {
  return a.size == b.size && std::memcmp(a.data, b.data, a.size - 4) == 0;
}

// Sorts the entries and returns how many distinct keys they hold. The source
// leaves come in key order, so after remapping only runs of equal keys can be
// out of order, and within a run only the pointers differ; a full sort
// remains for a source that was not in order.
uint32_t sortEntries(std::vector<EntryRef>& refs) {
  uint32_t runs = 0;
  bool sorted = true;
  for (size_t i = 0; i < refs.size();) {
    size_t j = i + 1;
    while (j < refs.size() && sameKey(refs[i], refs[j])) ++j;
    if (j - i > 1)
      std::sort(refs.begin() + i, refs.begin() + j,
                [](const EntryRef& a, const EntryRef& b) { return pointerOf(a) < pointerOf(b); });
    if (i > 0 && sorted && entryLess(refs[i], refs[i - 1])) sorted = false;
    ++runs;
    i = j;
  }
  if (sorted) return runs;
  std::sort(refs.begin(), refs.end(), entryLess);
  uint32_t unique = 0;
  for (size_t i = 0; i < refs.size(); ++i)
    if (i == 0 || !sameKey(refs[i], refs[i - 1])) ++unique;
  return unique;
}

class Compactor {
 public:
  Compactor(SourceFile& src, WriteFile& out, const CompactOptions& options,
            const Progress& progress, double from, double to)
      : src_(src),
        f_(src.format()),
        options_(options),
        progress_(progress),
        from_(from),
        to_(to),
        sink_(out, src.format(), src.dbKey()) {}

  WriteOutcome run() {
    WriteOutcome outcome;
    outcome.tables = readCatalogTables(src_);
    std::vector<uint32_t> pinned;
    for (const CatalogTable& t : outcome.tables) pinned.push_back(t.tdef);
    alloc_ = std::make_unique<PageAllocator>(pinned);
    holder_ = std::make_unique<MapHolder>(*alloc_, sink_);
    for (size_t i = 0; i < outcome.tables.size(); ++i) {
      tableShare_ = 1.0 / outcome.tables.size();
      tableBase_ = static_cast<double>(i) / outcome.tables.size();
      report(0);
      outcome.digest.push_back(compactTable(outcome.tables[i], outcome.result));
    }
    holder_->flush();
    finish();
    outcome.result.sourceBytes = src_.fileSize();
    outcome.result.sourcePages = src_.pageCount();
    outcome.result.outputPages = alloc_->end();
    outcome.result.outputBytes = uint64_t{alloc_->end()} * f_.pageSize;
    return outcome;
  }

 private:
  void report(double withinTable) {
    if (!progress_) return;
    const double done = tableBase_ + tableShare_ * std::clamp(withinTable, 0.0, 1.0);
    if (!progress_(from_ + (to_ - from_) * done)) throwCancelled();
  }

  [[noreturn]] void damaged(const CatalogTable& t, uint32_t page, const std::string& what) {
    throw Error(3049, "Table '" + t.name + "' (page " + std::to_string(page) +
                          ") is damaged in a way compaction cannot mend safely: " + what + ".");
  }

  TableDigest compactTable(const CatalogTable& t, CompactResult& result) {
    SourceTable st;
    std::vector<uint32_t> live;
    try {
      st = readTable(src_, t.tdef);
      live = liveRows(src_, st.def);
    } catch (const Corrupt& e) {
      damaged(t, t.tdef, e.what());
    }
    TableDef& d = st.def;
    const RowIndex rowIndex(live, src_.pageCount());

    // The primary key gives the row order; the other indexes are read one at
    // a time after the rows, so only one is ever in memory.
    size_t pk = SIZE_MAX;
    for (const LogicalIndex& l : d.logicalIndexes)
      if (l.primaryKey() && l.realIndex < d.realIndexes.size()) {
        pk = l.realIndex;
        break;
      }
    SourceIndex pkIndex;
    if (pk != SIZE_MAX) readIndex(t, d, pk, rowIndex, live.size(), pkIndex);

    // Primary-key order where there is one, page order for the rest.
    std::vector<uint32_t> order;
    order.reserve(live.size());
    for (const SourceIndex::Entry& e : pkIndex.entries) order.push_back(e.row);
    if (order.size() != live.size()) {
      std::vector<bool> placed(live.size(), false);
      for (uint32_t o : order) placed[o] = true;
      for (uint32_t i = 0; i < live.size(); ++i)
        if (!placed[i]) order.push_back(i);
    }

    std::map<uint16_t, LongValuePages> lvPages;
    const Column* autoColumn = nullptr;
    for (const Column& c : d.columns)
      if (c.type == column_type::kLong && (c.flags & column_flag::kAutoNumber)) autoColumn = &c;
    bool haveAuto = false;
    int32_t maxAuto = 0;

    std::vector<uint32_t> newPtr(live.size());
    std::vector<uint64_t> hashes(live.size());
    TableDigest digest;
    digest.tdef = t.tdef;
    digest.name = t.name;
    DataPageBuilder page(f_, t.tdef);
    uint32_t pg = 0;
    std::vector<uint32_t> dataPages, freePages;
    auto flushData = [&]() {
      if (page.empty()) return;
      if (page.freeSpace() >= f_.pageSize / 8) freePages.push_back(pg);
      sink_.write(pg, page.page());
      dataPages.push_back(pg);
      page.reset();
    };
    const size_t maxRow = DataPageBuilder::maxRow(f_);
    std::vector<uint8_t> row;  // reused from row to row
    for (size_t n = 0; n < order.size(); ++n) {
      const uint32_t o = order[n];
      const RowPtr header = RowPtr::fromRaw(live[o]);
      std::map<uint16_t, std::vector<uint8_t>> lvData;
      try {
        readRow(src_, header, row);
        for (const Column& c : d.columns) {
          if (!c.longValue()) continue;
          const FieldSpan s = fieldOf(d, src_.jet4(), ByteView(row), c);
          if (s.null || s.end == s.begin) continue;
          if (s.end - s.begin < 12) throwCorrupt("a long-value field is shorter than its header");
          const LongValue lv = readLongValue(src_, ByteView(row.data() + s.begin, s.end - s.begin));
          if (lv.kind == 0x80) continue;
          const RowPtr at = writeLongValue(lvPages.try_emplace(c.number, f_).first->second, lv);
          putLe32(row.data() + s.begin + 4, at.raw());
          putLe32(row.data() + s.begin + 8, 0);
          std::vector<uint8_t>& all = lvData[c.number];
          for (const auto& chunk : lv.chunks) all.insert(all.end(), chunk.begin(), chunk.end());
        }
        if (autoColumn) {
          const FieldSpan s = fieldOf(d, src_.jet4(), ByteView(row), *autoColumn);
          if (!s.null && s.end - s.begin == 4) {
            const int32_t v = static_cast<int32_t>(le32(row.data() + s.begin));
            maxAuto = haveAuto ? std::max(maxAuto, v) : v;
            haveAuto = true;
          }
        }
      } catch (const Corrupt& e) {
        damaged(t, header.page, e.what());
      }
      if (row.size() > maxRow) damaged(t, header.page, "a row is longer than a page");
      hashes[o] =
          hashRow(d, src_.jet4(), row, [&](const Column& c, ByteView) { return lvData[c.number]; });
      digest.rows.add(hashes[o]);
      if (!page.fits(row.size())) flushData();
      if (page.empty()) pg = alloc_->allocate();
      newPtr[o] = RowPtr{pg, page.add(row.data(), row.size())}.raw();
      if ((n & 1023) == 1023) report(0.8 * n / order.size());
    }
    flushData();
    for (auto& [col, lp] : lvPages) flushLongValues(lp);
    report(0.8);

    // Indexes from their old entries, pointers remapped, sorted again.
    std::vector<uint8_t>& b = d.buffer;
    for (size_t k = 0; k < d.realIndexes.size(); ++k) {
      // The large buffers are kept from index to index: fresh ones would be
      // fresh pages from the system, each faulted in again.
      if (k == pk)
        scratch_ = std::move(pkIndex);
      else
        readIndex(t, d, k, rowIndex, live.size(), scratch_);
      SourceIndex& si = scratch_;
      std::vector<uint8_t>& bytes = bytes_;
      bytes.clear();
      bytes.reserve(si.keys.size() + 4 * si.entries.size());
      std::vector<EntryRef>& refs = refs_;
      refs.clear();
      refs.reserve(si.entries.size());
      Multiset m;
      for (size_t i = 0; i < si.entries.size(); ++i) {
        const SourceIndex::Entry& e = si.entries[i];
        // Entries point all over the table: fetch the rows' slots a few ahead.
        if (i + 16 < si.entries.size()) {
          __builtin_prefetch(&newPtr[si.entries[i + 16].row]);
          __builtin_prefetch(&hashes[si.entries[i + 16].row]);
        }
        bytes.insert(bytes.end(), si.keys.begin() + e.offset,
                     si.keys.begin() + e.offset + e.keyLength);
        const uint32_t p = newPtr[e.row];
        const uint8_t ptr[4] = {uint8_t(p >> 24), uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)};
        bytes.insert(bytes.end(), ptr, ptr + 4);
        m.add(mix(hashBytes(si.keys.data() + e.offset, e.keyLength), hashes[e.row]));
      }
      si.keys.clear();
      si.keys.shrink_to_fit();
      size_t at = 0;
      for (const SourceIndex::Entry& e : si.entries) {
        refs.push_back({bytes.data() + at, static_cast<uint32_t>(e.keyLength + 4u)});
        at += e.keyLength + 4;
      }
      const uint32_t unique = sortEntries(refs);
      const BuiltIndex built = buildIndex(refs, t.tdef, *alloc_, sink_);
      const RealIndex& r = d.realIndexes[k];
      putLe32(b.data() + r.countOffset + 4, unique);
      putLe32(b.data() + r.definitionOffset + f_.realIdxUsageMap, placeMap(built.pages).raw());
      putLe32(b.data() + r.definitionOffset + f_.realIdxRoot, built.root);
      digest.indexes.push_back(m);
    }

    // The TDEF: counts, seed, maps.
    putLe32(b.data() + d.numRowsOffset, static_cast<uint32_t>(live.size()));
    if (autoColumn) {
      const int32_t stored = static_cast<int32_t>(d.autoNumber);
      int32_t seed = haveAuto ? maxAuto : 0;
      // A seed below a value in use would hand that value out again.
      if (options_.keepAutoNumberSeed) seed = haveAuto ? std::max(stored, maxAuto) : stored;
      putLe32(b.data() + d.autoNumberOffset, static_cast<uint32_t>(seed));
    }
    putLe32(b.data() + d.ownedMapOffset, placeMap(dataPages).raw());
    putLe32(b.data() + d.freeMapOffset, placeMap(freePages).raw());
    for (const LongValueMap& m : d.longValueMaps) {
      static const std::vector<uint32_t> kNone;
      auto it = lvPages.find(m.column);
      const bool any = it != lvPages.end();
      putLe32(b.data() + m.offset + 2, placeMap(any ? it->second.pages : kNone).raw());
      if (!m.free.null())
        putLe32(b.data() + m.offset + 6, placeMap(any ? it->second.freePages : kNone).raw());
    }
    writeTdef(st);
    report(1.0);
    // The summary counts what a user sees: tables other than MSys*.
    if (t.name.size() < 4 ||
        !std::equal(t.name.begin(), t.name.begin() + 4, "MSys",
                    [](char a, char b) { return std::tolower(a) == std::tolower(b); })) {
      result.tables += 1;
      result.rows += live.size();
    }
    return digest;
  }

  // An index's entries as the source has them. Every entry must point at a
  // live row, each row at most once, and every row must be there unless the
  // index leaves out nulls.
  void readIndex(const CatalogTable& t, const TableDef& d, size_t k, const RowIndex& rowIndex,
                 size_t liveCount, SourceIndex& si) {
    const RealIndex& r = d.realIndexes[k];
    si.entries.clear();
    si.keys.clear();
    si.entries.reserve(liveCount);
    std::vector<bool> seen(liveCount, false);
    try {
      forEachLeafEntry(src_, r.rootPage, t.tdef, [&](const uint8_t* key, size_t n, RowPtr row) {
        const uint32_t at = rowIndex.find(row);
        if (at == UINT32_MAX || seen[at])
          throwCorrupt("index " + std::to_string(k) + " has an entry for row " +
                       std::to_string(row.row) + " of page " + std::to_string(row.page) +
                       (at == UINT32_MAX ? ", which is not a live row" : " twice"));
        seen[at] = true;
        si.entries.push_back({si.keys.size(), static_cast<uint16_t>(n), at});
        si.keys.insert(si.keys.end(), key, key + n);
      });
    } catch (const Corrupt& e) {
      damaged(t, r.rootPage, e.what());
    }
    if (!(r.flags & index_flag::kIgnoreNulls) && si.entries.size() != liveCount)
      damaged(t, r.rootPage,
              "index " + std::to_string(k) + " lists " + std::to_string(si.entries.size()) +
                  " of " + std::to_string(liveCount) + " rows");
  }

  RowPtr placeMap(const std::vector<uint32_t>& pages) {
    return holder_->add(buildUsageMap(pages, *alloc_, sink_));
  }

  RowPtr addLongValueRow(LongValuePages& lp, const std::vector<uint8_t>& row) {
    if (!lp.page.fits(row.size())) flushLongValues(lp);
    if (lp.page.empty()) lp.pg = alloc_->allocate();
    return RowPtr{lp.pg, lp.page.add(row.data(), row.size())};
  }

  void flushLongValues(LongValuePages& lp) {
    if (lp.page.empty()) return;
    if (lp.page.freeSpace() >= f_.pageSize / 8) lp.freePages.push_back(lp.pg);
    sink_.write(lp.pg, lp.page.page());
    lp.pages.push_back(lp.pg);
    std::sort(lp.pages.begin(), lp.pages.end());
    lp.page.reset();
  }

  // Single rows as they are; chains written last piece first so each piece
  // knows where its successor went.
  RowPtr writeLongValue(LongValuePages& lp, const LongValue& lv) {
    const size_t maxRow = DataPageBuilder::maxRow(f_);
    if (lv.kind == 0x40) {
      if (lv.chunks.front().size() > maxRow) throwCorrupt("a long value row is too long");
      return addLongValueRow(lp, lv.chunks.front());
    }
    uint32_t next = 0;
    std::vector<uint8_t> row;
    for (auto it = lv.chunks.rbegin(); it != lv.chunks.rend(); ++it) {
      if (it->size() + 4 > maxRow) throwCorrupt("a long value piece is too long");
      row.assign(4, 0);
      putLe32(row.data(), next);
      row.insert(row.end(), it->begin(), it->end());
      next = addLongValueRow(lp, row).raw();
    }
    return RowPtr::fromRaw(next);
  }

  // Same pages, same split: the first page keeps its number, continuation
  // pages get new ones.
  void writeTdef(const SourceTable& st) {
    const TableDef& d = st.def;
    const uint32_t ps = f_.pageSize;
    std::vector<uint32_t> numbers{d.firstPage};
    for (size_t i = 1; i < st.rawPages.size(); ++i) numbers.push_back(alloc_->allocate());
    for (size_t i = 0; i < st.rawPages.size(); ++i) {
      std::vector<uint8_t> page = st.rawPages[i];
      if (i == 0)
        std::memcpy(page.data(), d.buffer.data(), ps);
      else
        std::memcpy(page.data() + 8, d.buffer.data() + ps + (i - 1) * (ps - 8), ps - 8);
      putLe32(page.data() + 4, i + 1 < numbers.size() ? numbers[i + 1] : 0);
      sink_.write(numbers[i], std::move(page));
    }
  }

  void finish() {
    holder_->flush();
    std::vector<bool> used(alloc_->end(), false);
    for (uint32_t pg = 0; pg < used.size(); ++pg) used[pg] = sink_.written(pg);
    used[0] = used[1] = true;
    for (uint32_t pg = 2; pg < used.size(); ++pg)
      if (alloc_->pinned(pg) && !used[pg])
        throw Error(3049, "internal error: table page " + std::to_string(pg) + " not written");
    sink_.write(1, buildGlobalMapPage(used, *alloc_, sink_));
    // Page 0 as it was but for clean commit slots.
    std::vector<uint8_t> page0 = src_.page0();
    for (int slot = 0; slot < 256; ++slot) {
      page0[f_.commitSlots + 2 * slot] = slot == 0 ? 0x01 : 0x00;
      page0[f_.commitSlots + 2 * slot + 1] = 0x01;
    }
    sink_.write(0, std::move(page0));
    // Gaps below the highest pinned page stay, free and zeroed.
    for (uint32_t pg = 2; pg < alloc_->end(); ++pg)
      if (!sink_.written(pg)) sink_.write(pg, std::vector<uint8_t>(f_.pageSize, 0));
  }

  SourceFile& src_;
  const Format& f_;
  const CompactOptions& options_;
  const Progress& progress_;
  double from_, to_;
  double tableBase_ = 0, tableShare_ = 1;
  PageSink sink_;
  std::unique_ptr<PageAllocator> alloc_;
  std::unique_ptr<MapHolder> holder_;
  SourceIndex scratch_;  // buffers reused by every index of every table
  std::vector<uint8_t> bytes_;
  std::vector<EntryRef> refs_;
};

}  // namespace

WriteOutcome writeCompacted(SourceFile& src, WriteFile& out, const CompactOptions& options,
                            const Progress& progress, double from, double to) {
  return Compactor(src, out, options, progress, from, to).run();
}

}  // namespace jet::compact
