#include "jet/compact/RebuiltIndex.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "jet/db/Database.h"
#include "jet/db/RowKeys.h"
#include "jet/format/DataPage.h"
#include "jet/format/IndexPage.h"

namespace jet::compact {

std::optional<std::string> rebuildIndex(const Database& db, const TableDef& def, size_t k,
                                        const std::vector<uint32_t>& rows, SourceIndex& out,
                                        const std::function<void()>& tick,
                                        std::vector<uint32_t>* inDoubt) {
  const RealIndex& index = def.realIndexes.at(k);
  if (auto why = RowKeys::unsupported(db, def, index)) return why;
  RowKeys maker(db, def, index);
  KeyedEntries made;
  made.entries.reserve(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    if (tick) tick();
    const RowSlot row = readRow(db.pages(), RowPtr::fromRaw(rows[i]));
    made.add(maker, static_cast<uint32_t>(i), row.bytes);
  }
  if (made.uncertain)
    return std::string(
        "it holds text keys longer than 508 bytes, which Access cuts by a rule "
        "not known here");
  made.sort();
  if (inDoubt) *inDoubt = std::move(made.unverified);
  out.keys = std::move(made.keys);
  out.entries = std::move(made.entries);
  return std::nullopt;
}

std::string indexName(const TableDef& def, size_t k) {
  const LogicalIndex* li = def.logicalIndexOf(def.realIndexes.at(k));
  return li ? li->name : "index " + std::to_string(k);
}

bool sameEntries(const SourceIndex& a, const SourceIndex& b) {
  if (a.entries.size() != b.entries.size()) return false;
  for (size_t i = 0; i < a.entries.size(); ++i) {
    const SourceIndex::Entry &x = a.entries[i], &y = b.entries[i];
    if (x.row != y.row || x.keyLength != y.keyLength ||
        std::memcmp(a.keys.data() + x.offset, b.keys.data() + y.offset, x.keyLength) != 0)
      return false;
  }
  return true;
}

bool sameEntriesButInDoubt(const SourceIndex& stored, const SourceIndex& made,
                           const std::vector<uint32_t>& inDoubt) {
  if (inDoubt.empty() || stored.entries.size() != made.entries.size()) return false;
  const auto key = [](const SourceIndex& s, const SourceIndex::Entry& e) {
    return ByteView(s.keys.data() + e.offset, e.keyLength);
  };
  std::unordered_map<uint32_t, const SourceIndex::Entry*> madeFor;
  for (const SourceIndex::Entry& e : made.entries) madeFor.emplace(e.row, &e);
  const SourceIndex::Entry* previous = nullptr;
  for (const SourceIndex::Entry& e : stored.entries) {
    if (previous && compareEntries(key(stored, *previous), RowPtr::fromRaw(previous->row),
                                   key(stored, e), RowPtr::fromRaw(e.row)) >= 0)
      return false;
    previous = &e;
    const auto m = madeFor.find(e.row);
    if (m == madeFor.end()) return false;
    if (!(key(stored, e) == key(made, *m->second)) &&
        !std::binary_search(inDoubt.begin(), inDoubt.end(), e.row))
      return false;
    madeFor.erase(m);
  }
  return true;
}

}  // namespace jet::compact
