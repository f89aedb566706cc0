#include "jet/db/RowKeys.h"

#include <algorithm>
#include <stdexcept>

#include "jet/format/IndexPage.h"

#include "jet/db/Database.h"
#include "jet/format/LongValue.h"

namespace jet {
namespace {

SortOrder databaseOrder(const Database& db) {
  const Header& h = db.header();
  return databaseSortOrder(db.version(), h.sortOrder, h.sortVersion, h.codePage);
}

// The key columns, or the reason there are none.
std::optional<std::string> keyColumns(const Database& db, const TableDef& def,
                                      const RealIndex& index, std::vector<const Column*>& columns,
                                      std::vector<KeyColumn>& keys) {
  const Format& f = db.format();
  for (const IndexColumn& ic : index.columns) {
    const Column* c = def.columnByNumber(ic.column);
    if (!c) return "key column " + std::to_string(ic.column) + " is not in the table";
    KeyColumn k{c->type, ic.ascending, {}};
    if (c->type == column_type::kText || c->type == column_type::kMemo) {
      const ByteView d(def.buffer.data() + c->descriptorOffset, f.columnSize);
      k.sortOrder = columnSortOrder(db.version(), d);
    }
    columns.push_back(c);
    keys.push_back(k);
  }
  if (auto why = unsupportedKey(db.version(), keys, databaseOrder(db))) return why->reason;
  return std::nullopt;
}

std::vector<KeyColumn> checkedKeyColumns(const Database& db, const TableDef& def,
                                         const RealIndex& index,
                                         std::vector<const Column*>& columns) {
  std::vector<KeyColumn> keys;
  if (auto why = keyColumns(db, def, index, columns, keys)) throw std::invalid_argument(*why);
  return keys;
}

}  // namespace

std::optional<std::string> RowKeys::unsupported(const Database& db, const TableDef& def,
                                                const RealIndex& index) {
  std::vector<const Column*> columns;
  std::vector<KeyColumn> keys;
  return keyColumns(db, def, index, columns, keys);
}

RowKeys::RowKeys(const Database& db, const TableDef& def, const RealIndex& index)
    : db_(db),
      def_(def),
      flags_(index.flags),
      keyColumns_(checkedKeyColumns(db, def, index, columns_)),
      encoder_(db.version(), keyColumns_, databaseOrder(db)),
      values_(columns_.size()),
      memo_(columns_.size()) {}

RowKeys::Outcome RowKeys::append(ByteView row, std::vector<uint8_t>& out) {
  const RowFields fields(def_, db_.jet4(), row);
  for (size_t i = 0; i < columns_.size(); ++i) {
    const Field f = fields.field(*columns_[i]);
    values_[i] = KeyValue{f.null, f.boolValue, f.bytes};
    if (!f.null && columns_[i]->longValue() && !f.bytes.empty()) {
      readLongValue(db_.pages(), f.bytes, memo_[i]);
      values_[i].bytes = ByteView(memo_[i]);
    }
  }
  if (omitsRow(flags_, keyColumns_, values_)) return Outcome::Omitted;
  switch (encoder_.append(values_, out)) {
    case KeyTrust::Certain:
      return Outcome::Key;
    case KeyTrust::Unverified:
      return Outcome::Unverified;
    case KeyTrust::Unknown:
      break;
  }
  return Outcome::Uncertain;
}

void KeyedEntries::clear() {
  keys.clear();
  entries.clear();
  uncertain = false;
  unverified.clear();
}

void KeyedEntries::add(RowKeys& maker, uint32_t position, ByteView row) {
  const size_t start = keys.size();
  const RowKeys::Outcome o = maker.append(row, keys);
  if (o == RowKeys::Outcome::Omitted) return;
  uncertain = uncertain || o == RowKeys::Outcome::Uncertain;
  if (o == RowKeys::Outcome::Unverified) unverified.push_back(position);
  entries.push_back({start, static_cast<uint16_t>(keys.size() - start), position});
}

void KeyedEntries::sort() {
  std::sort(entries.begin(), entries.end(), [this](const Entry& a, const Entry& b) {
    return compareEntries(key(a), RowPtr::fromRaw(a.row), key(b), RowPtr::fromRaw(b.row)) < 0;
  });
}

}  // namespace jet
