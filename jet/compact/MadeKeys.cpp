#include "jet/compact/MadeKeys.h"

#include "jet/compact/IndexWalk.h"
#include "jet/db/Database.h"
#include "jet/db/RowKeys.h"
#include "jet/format/DataPage.h"

namespace jet::compact {
namespace {

const char* const kUncertain =
    "it holds text keys longer than 508 bytes, which Access cuts by a rule not known here";

}  // namespace

MadeKeys makeKeys(const Database& db, const TableDef& def, const std::vector<uint32_t>& live,
                  const std::function<void(double)>& tick) {
  const size_t n = def.realIndexes.size();
  MadeKeys made;
  made.cannot.resize(n);
  made.entries.resize(n);
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
        if (o == RowKeys::Outcome::Key) made.entries[k].add(entryChecksum(ByteView(key), at));
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
