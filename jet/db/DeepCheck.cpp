#include "jet/db/DeepCheck.h"

#include <optional>
#include <unordered_map>

#include "jet/db/CheckContext.h"
#include "jet/db/Database.h"
#include "jet/db/RowKeys.h"
#include "jet/db/TableScan.h"
#include "jet/format/IndexPage.h"
#include "jet/util/Hash.h"

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
  Multiset made;  // checksums of the entries the rows make
  bool uncertain = false;
  std::unordered_map<uint32_t, uint64_t> unverified;  // row → its entry's checksum, in doubt
};

uint64_t entryChecksum(ByteView key, RowPtr row) {
  return mix(hashBytes(key.data(), key.size()), row.raw());
}

// Every supported index's entries from the rows, as checksums: nothing is
// held per row. False when the rows cannot all be read (the table check
// reports why).
bool makeChecksums(CheckContext& c, const TableDef& def, std::vector<IndexWork>& work) {
  std::vector<uint8_t> key;
  try {
    TableScan scan(c.db, def);
    RawRow row;
    for (uint64_t n = 0; scan.next(row); ++n) {
      if ((n & 1023) == 0) c.poll();
      for (IndexWork& w : work) {
        if (!w.maker) continue;
        key.clear();
        const RowKeys::Outcome o = w.maker->append(row.bytes, key);
        if (o == RowKeys::Outcome::Uncertain) w.uncertain = true;
        if (o == RowKeys::Outcome::Omitted) continue;
        const uint64_t h = entryChecksum(ByteView(key), row.header);
        w.made.add(h);
        if (o == RowKeys::Outcome::Unverified) w.unverified.emplace(row.header.raw(), h);
      }
    }
  } catch (const Corrupt&) {
    return false;
  }
  return true;
}

// The stored entries as checksums, and whether they are in order; besides,
// the same with the rows' own entries standing in for stored keys in doubt.
class StoredChecksums : public IndexVisitor {
 public:
  explicit StoredChecksums(const std::unordered_map<uint32_t, uint64_t>& unverified)
      : unverified_(unverified) {}
  void onEntry(const IndexEntry& e) override {
    if (set.count > 0 && compareEntries(ByteView(previous_), previousRow_, e.key, e.row) >= 0)
      ordered = false;
    previous_.assign(e.key.begin(), e.key.end());
    previousRow_ = e.row;
    const uint64_t h = entryChecksum(e.key, e.row);
    set.add(h);
    if (unverified_.empty()) return;
    const auto made = unverified_.find(e.row.raw());
    if (made != unverified_.end() && made->second != h) {
      if (notVerified++ == 0) firstNotVerified = e.row;
      return withMade.add(made->second);
    }
    withMade.add(h);
  }
  Multiset set, withMade;
  bool ordered = true;
  uint64_t notVerified = 0;
  RowPtr firstNotVerified;

 private:
  const std::unordered_map<uint32_t, uint64_t>& unverified_;
  std::vector<uint8_t> previous_;
  RowPtr previousRow_;
};

// Every entry made again, sorted, to name the first that differs: only for
// an index whose checksums already say it does not match.
bool makeEntries(CheckContext& c, const TableDef& def, RowKeys& maker, KeyedEntries& made,
                 std::vector<uint32_t>& headers) {
  try {
    TableScan scan(c.db, def);
    RawRow row;
    while (scan.next(row)) {
      if ((headers.size() & 1023) == 0) c.poll();
      const auto position = static_cast<uint32_t>(headers.size());
      headers.push_back(row.header.raw());
      made.add(maker, position, row.bytes);
    }
  } catch (const Corrupt&) {
    return false;
  }
  return true;
}

// Two rows whose keys a unique index cannot both hold, as the check of a
// compacted copy finds them.
std::optional<std::string> duplicateKey(CheckContext& c, const TableDef& def,
                                        const RealIndex& index, const KeyedEntries& made,
                                        const std::vector<uint32_t>& headers) {
  if (!(index.flags & index_flag::kUnique)) return std::nullopt;
  for (size_t k = 1; k < made.entries.size(); ++k) {
    const ByteView key = made.key(made.entries[k]);
    if (!(key == made.key(made.entries[k - 1])) ||
        !keyHeldOnce(c.db, def, index,
                     IndexEntry{key, ByteView(), RowPtr::fromRaw(headers[made.entries[k].row]), 0}))
      continue;
    return "is unique, but its rows hold the same key twice (" +
           rowText(RowPtr::fromRaw(headers[made.entries[k - 1].row])) + " and " +
           rowText(RowPtr::fromRaw(headers[made.entries[k].row])) + ")";
  }
  return std::nullopt;
}

// The stored keys of the rows whose keys are in doubt.
class StoredKeysOf : public IndexVisitor {
 public:
  explicit StoredKeysOf(const std::unordered_map<uint32_t, uint64_t>& rows) : rows_(rows) {}
  void onEntry(const IndexEntry& e) override {
    if (rows_.count(e.row.raw())) keys[e.row.raw()].assign(e.key.begin(), e.key.end());
  }
  std::unordered_map<uint32_t, std::vector<uint8_t>> keys;

 private:
  const std::unordered_map<uint32_t, uint64_t>& rows_;
};

// Keys in doubt are taken as stored, so that only a certain key is named.
void takeStoredKeys(CheckContext& c, const TableDef& def, const RealIndex& index,
                    const std::unordered_map<uint32_t, uint64_t>& inDoubt, KeyedEntries& made,
                    const std::vector<uint32_t>& headers) {
  if (inDoubt.empty()) return;
  StoredKeysOf stored(inDoubt);
  walkIndex(c.db.pages(), index.rootPage, def.firstPage, stored);
  for (KeyedEntries::Entry& e : made.entries) {
    const auto key = stored.keys.find(headers[e.row]);
    if (key == stored.keys.end()) continue;
    e.offset = made.keys.size();
    e.keyLength = static_cast<uint16_t>(key->second.size());
    made.keys.insert(made.keys.end(), key->second.begin(), key->second.end());
  }
}

// Where the index and its rows differ, by the slow comparison; a duplicate
// key first, as making the index again cannot get past it.
std::optional<std::string> firstDifference(CheckContext& c, const TableDef& def, const IndexWork& w,
                                           bool& duplicate) {
  const RealIndex& index = *w.index;
  RowKeys maker(c.db, def, index);
  KeyedEntries made;
  std::vector<uint32_t> headers;
  if (!makeEntries(c, def, maker, made, headers)) return std::nullopt;
  takeStoredKeys(c, def, index, w.unverified, made, headers);
  made.sort();
  if (auto twice = duplicateKey(c, def, index, made, headers)) {
    duplicate = true;
    return twice;
  }
  Comparison compared(made, headers);
  walkIndex(c.db.pages(), index.rootPage, def.firstPage, compared);
  compared.finish();
  return compared.difference;
}

void compareIndex(CheckContext& c, const std::string& table, const TableDef& def, IndexWork& w) {
  if (c.offRows.count(w.index->rootPage)) return;  // the entries and the rows differ: reported
  const std::string label = indexLabel(def, *w.index);
  if (w.uncertain) {
    c.r.info(table, w.index->rootPage,
             label +
                 " holds text keys longer than 508 bytes, which Access cuts by a rule not "
                 "known here; it is not compared with its rows.");
    return;
  }
  StoredChecksums stored(w.unverified);
  std::optional<std::string> difference;
  bool duplicate = false;
  try {
    walkIndex(c.db.pages(), w.index->rootPage, def.firstPage, stored);
    if (stored.ordered && stored.set == w.made) {
      c.report.indexEntriesChecked += stored.set.count;
      return;
    }
    // Keys in doubt that differ, in an index whose order holds: not damage.
    if (stored.ordered && stored.notVerified && stored.withMade == w.made) {
      c.report.indexEntriesChecked += stored.set.count - stored.notVerified;
      c.r.info(table, w.index->rootPage,
               label + ": key not verified for " + std::to_string(stored.notVerified) +
                   " row(s), the first at " + rowText(stored.firstNotVerified) +
                   ": their text holds characters whose codes are uncertain here, and the "
                   "entries stand in order. Compaction keeps the index as it is.");
      return;
    }
    difference = firstDifference(c, def, w, duplicate);
  } catch (const Corrupt&) {
    return;  // the index check reports the damage
  }
  if (duplicate) {
    c.r.error(table, w.index->rootPage, label + " " + *difference + "." + advice::kFixRows);
    return;
  }
  c.r.error(table, w.index->rootPage,
            label + " does not match its rows: it " +
                difference.value_or("holds entries in an order its keys do not give") + "." +
                advice::kCompact);
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
  if (!makeChecksums(c, *def, work)) return;
  const uint64_t before = c.report.indexEntriesChecked;
  for (IndexWork& w : work)
    if (w.maker) compareIndex(c, table.name, *def, w);
  if (c.report.indexEntriesChecked > before) ++c.report.tablesCompared;
}

}  // namespace jet
