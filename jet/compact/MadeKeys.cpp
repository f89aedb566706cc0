#include "jet/compact/MadeKeys.h"

#include "jet/compact/IndexWalk.h"
#include "jet/db/Database.h"
#include "jet/db/RowKeys.h"
#include "jet/format/DataPage.h"
#include "jet/format/IndexPage.h"

namespace jet::compact {
namespace {

const char* const kUncertain =
    "it holds text keys longer than 508 bytes, which Access cuts by a rule not known here";

// The stored entries' checksums, the rows' own standing in for keys in doubt.
class WithMadeInDoubt : public IndexVisitor {
 public:
  WithMadeInDoubt(const RowMap& rows, const std::unordered_map<uint32_t, uint64_t>& inDoubt)
      : rows_(rows), inDoubt_(inDoubt) {}
  void onEntry(const IndexEntry& e) override {
    const uint32_t at = rows_.find(e.row);
    if (at == RowMap::kNone) throwCorrupt("an index entry names no live row on the second walk");
    const auto made = inDoubt_.find(at);
    entries.add(made != inDoubt_.end() ? made->second : entryChecksum(e.key, at));
  }
  Multiset entries;

 private:
  const RowMap& rows_;
  const std::unordered_map<uint32_t, uint64_t>& inDoubt_;
};

}  // namespace

MadeKeys makeKeys(const Database& db, const TableDef& def, const std::vector<uint32_t>& live,
                  const std::function<void(double)>& tick) {
  const size_t n = def.realIndexes.size();
  MadeKeys made;
  made.cannot.resize(n);
  made.entries.resize(n);
  made.inDoubt.resize(n);
  std::vector<std::optional<RowKeys>> makers(n);
  bool any = false;
  for (size_t k = 0; k < n; ++k) {
    made.cannot[k] = RowKeys::unsupported(db, def, def.realIndexes[k]);
    if (!made.cannot[k]) makers[k].emplace(db, def, def.realIndexes[k]);
    any = any || !made.cannot[k];
  }
  if (!any) return made;
  std::vector<uint8_t> key;
  try {
    for (uint32_t at = 0; at < live.size(); ++at) {
      tick(static_cast<double>(at) / live.size());
      const RowSlot row = readRow(db.pages(), RowPtr::fromRaw(live[at]));
      for (size_t k = 0; k < n; ++k) {
        if (!makers[k] || made.cannot[k]) continue;
        key.clear();
        const RowKeys::Outcome o = makers[k]->append(row.bytes, key);
        if (o == RowKeys::Outcome::Uncertain) made.cannot[k] = kUncertain;
        if (o != RowKeys::Outcome::Key && o != RowKeys::Outcome::Unverified) continue;
        const uint64_t h = entryChecksum(ByteView(key), at);
        made.entries[k].add(h);
        if (o == RowKeys::Outcome::Unverified) made.inDoubt[k].emplace(at, h);
      }
    }
  } catch (const Corrupt& e) {
    // Copying the rows names the row; no index can be made from them.
    for (size_t k = 0; k < n; ++k)
      if (makers[k] && !made.cannot[k])
        made.cannot[k] = "a row cannot be read (" + e.description() + ")";
  }
  return made;
}

bool differsOnlyInDoubt(const Database& db, const TableDef& def, size_t k, const RowMap& rows,
                        const MadeKeys& made) {
  if (made.cannot[k] || made.inDoubt[k].empty()) return false;
  WithMadeInDoubt walk(rows, made.inDoubt[k]);
  walkIndex(db.pages(), def.realIndexes[k].rootPage, def.firstPage, walk);
  return walk.entries == made.entries[k];
}

void addMadeEntries(const Database& db, const TableDef& def, size_t k,
                    const std::vector<uint32_t>& live, const std::vector<uint32_t>* pointer,
                    ExternalSort& sorter, const std::function<void(double)>& tick) {
  RowKeys maker(db, def, def.realIndexes[k]);
  std::vector<uint8_t> entry;
  for (uint32_t at = 0; at < live.size(); ++at) {
    tick(static_cast<double>(at) / live.size());
    const RowSlot row = readRow(db.pages(), RowPtr::fromRaw(live[at]));
    entry.clear();
    if (maker.append(row.bytes, entry) == RowKeys::Outcome::Omitted) continue;
    entry.resize(entry.size() + 4);
    putBe32(entry.data() + entry.size() - 4, pointer ? (*pointer)[at] : at);
    sorter.add(entry.data(), static_cast<uint32_t>(entry.size()));
  }
}

}  // namespace jet::compact
