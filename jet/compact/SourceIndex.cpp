#include "jet/compact/SourceIndex.h"

#include <algorithm>
#include <cstring>

#include "jet/compact/IndexWalk.h"
#include "jet/compact/Pacer.h"
#include "jet/db/Database.h"
#include "jet/format/IndexPage.h"

namespace jet::compact {
namespace {

class Reader : public IndexVisitor {
 public:
  Reader(SourceIndex& out, const RowMap& rows, size_t k, Pacer& pacer)
      : out_(out), rows_(rows), k_(k), pacer_(pacer), seen_(rows.size(), false) {}

  void onEntry(const IndexEntry& e) override {
    const uint32_t at = rowNamedOnce(rows_, seen_, k_, e);
    out_.entries.push_back({out_.keys.size(), static_cast<uint16_t>(e.key.size()), at});
    out_.keys.insert(out_.keys.end(), e.key.begin(), e.key.end());
    pacer_.step(static_cast<double>(out_.entries.size()) / std::max<uint32_t>(1, rows_.size()));
  }

 private:
  SourceIndex& out_;
  const RowMap& rows_;
  size_t k_;
  Pacer& pacer_;
  std::vector<bool> seen_;
};

uint32_t pointerOf(const EntryRef& e) { return be32(e.data + e.size - 4); }

bool sameKey(const EntryRef& a, const EntryRef& b) {
  return a.size == b.size && std::memcmp(a.data, b.data, a.size - 4) == 0;
}

}  // namespace

void SourceIndex::read(const Database& db, const TableDef& def, size_t k, const RowMap& rows,
                       Pacer& pacer) {
  const RealIndex& r = def.realIndexes[k];
  entries.clear();
  keys.clear();
  entries.reserve(rows.size());
  Reader reader(*this, rows, k, pacer);
  walkIndex(db.pages(), r.rootPage, def.firstPage, reader);
  if (!(r.flags & index_flag::kIgnoreNulls) && entries.size() != rows.size())
    throwCorrupt("index " + std::to_string(k) + " lists " + std::to_string(entries.size()) +
                 " of " + std::to_string(rows.size()) + " rows");
}

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
  std::sort(refs.begin(), refs.end(),
            [](const EntryRef& a, const EntryRef& b) { return entryLess(a, b); });
  uint32_t unique = 0;
  for (size_t i = 0; i < refs.size(); ++i)
    if (i == 0 || !sameKey(refs[i], refs[i - 1])) ++unique;
  return unique;
}

}  // namespace jet::compact
