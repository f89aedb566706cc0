#include "jet/compact/IndexWalk.h"

#include <algorithm>

#include "jet/db/Database.h"
#include "jet/format/IndexPage.h"

namespace jet::compact {
namespace {

class Judge : public IndexVisitor {
 public:
  Judge(StoredIndex& out, const RowMap& rows, size_t k, const Tick& tick,
        std::vector<uint32_t>* order)
      : out_(out), rows_(rows), k_(k), tick_(tick), order_(order), seen_(rows.size(), false) {}

  void onEntry(const IndexEntry& e) override {
    const uint32_t at = rowNamedOnce(rows_, seen_, k_, e);
    if (out_.entries.count > 0 &&
        compareEntries(ByteView(previous_), previousRow_, e.key, e.row) >= 0)
      out_.ordered = false;
    previous_.assign(e.key.begin(), e.key.end());
    previousRow_ = e.row;
    out_.entries.add(entryChecksum(e.key, at));
    if (order_) order_->push_back(at);
    tick_(static_cast<double>(out_.entries.count) / std::max<uint32_t>(1, rows_.size()));
  }

 private:
  StoredIndex& out_;
  const RowMap& rows_;
  size_t k_;
  const Tick& tick_;
  std::vector<uint32_t>* order_;
  std::vector<bool> seen_;
  std::vector<uint8_t> previous_;
  RowPtr previousRow_;
};

// Entries with new pointers; a run of equal keys waits for its last entry
// and leaves sorted by pointer.
class Emitter : public IndexVisitor {
 public:
  Emitter(const RowMap& rows, const std::vector<uint32_t>& newPlace, bool sortRuns,
          const Tick& tick, const std::function<void(const EntryRef&)>& emit)
      : rows_(rows), newPlace_(newPlace), sortRuns_(sortRuns), tick_(tick), emit_(emit) {}

  void onEntry(const IndexEntry& e) override {
    const uint32_t at = rows_.find(e.row);
    if (at == RowMap::kNone) throwCorrupt("an index entry names no live row on the second walk");
    const bool same = any_ && ByteView(key_) == e.key;
    if (!same || !sortRuns_) {
      flush();
      key_.assign(e.key.begin(), e.key.end());
    }
    any_ = true;
    run_.push_back(newPlace_[at]);
    tick_(static_cast<double>(++done_) / std::max<uint32_t>(1, rows_.size()));
  }

  void flush() {
    if (run_.empty()) return;
    std::sort(run_.begin(), run_.end());  // raw order is the pointer bytes' order
    entry_.assign(key_.begin(), key_.end());
    entry_.resize(key_.size() + 4);
    for (uint32_t p : run_) {
      putBe32(entry_.data() + key_.size(), p);
      emit_(EntryRef{entry_.data(), static_cast<uint32_t>(entry_.size())});
    }
    run_.clear();
  }

 private:
  const RowMap& rows_;
  const std::vector<uint32_t>& newPlace_;
  bool sortRuns_;
  const Tick& tick_;
  const std::function<void(const EntryRef&)>& emit_;
  std::vector<uint8_t> key_, entry_;
  std::vector<uint32_t> run_;
  uint32_t done_ = 0;
  bool any_ = false;
};

}  // namespace

uint32_t rowNamedOnce(const RowMap& rows, std::vector<bool>& seen, size_t k, const IndexEntry& e) {
  const uint32_t at = rows.find(e.row);
  if (at == RowMap::kNone || seen[at])
    throwCorrupt("index " + std::to_string(k) + " has an entry for row " +
                 std::to_string(e.row.row) + " of page " + std::to_string(e.row.page) +
                 (at == RowMap::kNone ? ", which is not a live row" : " twice"));
  seen[at] = true;
  return at;
}

StoredIndex judgeStoredIndex(const Database& db, const TableDef& def, size_t k, const RowMap& rows,
                             const Tick& tick, std::vector<uint32_t>* order) {
  const RealIndex& r = def.realIndexes[k];
  StoredIndex out;
  try {
    Judge judge(out, rows, k, tick, order);
    walkIndex(db.pages(), r.rootPage, def.firstPage, judge);
    if (!(r.flags & index_flag::kIgnoreNulls) && out.entries.count != rows.size())
      throwCorrupt("index " + std::to_string(k) + " lists " + std::to_string(out.entries.count) +
                   " of " + std::to_string(rows.size()) + " rows");
  } catch (const Corrupt& e) {
    out.damage = e.description();
  }
  return out;
}

void emitStoredIndex(const Database& db, const TableDef& def, size_t k, const RowMap& rows,
                     const std::vector<uint32_t>& newPlace, bool sortRuns, const Tick& tick,
                     const std::function<void(const EntryRef&)>& emit) {
  Emitter emitter(rows, newPlace, sortRuns, tick, emit);
  walkIndex(db.pages(), def.realIndexes[k].rootPage, def.firstPage, emitter);
  emitter.flush();
}

}  // namespace jet::compact
