#include "jet/compact/RebuiltIndex.h"

#include <cstring>

#include "jet/db/Database.h"
#include "jet/db/RowKeys.h"
#include "jet/format/DataPage.h"

namespace jet::compact {

std::optional<std::string> rebuildIndex(const Database& db, const TableDef& def, size_t k,
                                        const std::vector<uint32_t>& rows, SourceIndex& out,
                                        const std::function<void()>& tick) {
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

}  // namespace jet::compact
