#include "jet/CompactDigest.h"

#include <algorithm>

#include "jet/Error.h"
#include "jet/IndexBuilder.h"

namespace jet::compact {

std::vector<CatalogTable> readCatalogTables(SourceFile& src) {
  const SourceTable cat = readTable(src, 2);
  const TableDef& d = cat.def;
  const Column *id = nullptr, *name = nullptr, *type = nullptr;
  for (const Column& c : d.columns) {
    if (c.name == "Id") id = &c;
    if (c.name == "Name") name = &c;
    if (c.name == "Type") type = &c;
  }
  if (!id || !name || !type || !id->fixed() || !type->fixed() || id->length != 4 ||
      type->length != 2)
    throwCorrupt("the catalog (page 2) lacks its Id, Name or Type column");
  std::vector<CatalogTable> tables;
  for (uint32_t raw : liveRows(src, d)) {
    const std::vector<uint8_t> row = readRow(src, RowPtr::fromRaw(raw));
    ByteView v(row);
    const FieldSpan t = fieldOf(d, src.jet4(), v, *type);
    const FieldSpan i = fieldOf(d, src.jet4(), v, *id);
    if (t.null || i.null || v.u16(t.begin) != 1) continue;
    CatalogTable ct;
    ct.tdef = v.u32(i.begin) & 0x00FFFFFF;
    const FieldSpan n = fieldOf(d, src.jet4(), v, *name);
    if (!n.null) ct.name = textOf(src.jet4(), v.sub(n.begin, n.end - n.begin));
    if (ct.tdef < 2 || ct.tdef >= src.pageCount())
      throwCorrupt("the catalog lists table '" + ct.name + "' at page " + std::to_string(ct.tdef) +
                   ", outside the file");
    tables.push_back(std::move(ct));
  }
  std::sort(tables.begin(), tables.end(),
            [](const CatalogTable& a, const CatalogTable& b) { return a.tdef < b.tdef; });
  for (size_t k = 1; k < tables.size(); ++k)
    if (tables[k].tdef == tables[k - 1].tdef)
      throwCorrupt("the catalog lists two tables at page " + std::to_string(tables[k].tdef));
  if (tables.empty() || tables.front().tdef != 2) throwCorrupt("the catalog does not list itself");
  return tables;
}

std::vector<uint32_t> liveRows(SourceFile& src, const TableDef& def) {
  std::vector<uint32_t> rows;
  const uint32_t rco = src.format().rowCountOffset;
  for (uint32_t pg : readMapPages(src, def.ownedMap, src.pageCount())) {
    ByteView p = src.page(pg);
    if (p.u8(0) != page_type::kData || p.u32(4) != def.firstPage) continue;
    const uint16_t n = p.u16(rco);
    if (n > 255 || rco + 2 + 2u * n > src.pageSize())
      throwCorrupt("data page " + std::to_string(pg) + " claims " + std::to_string(n) + " rows");
    for (uint16_t r = 0; r < n; ++r)
      if (!(p.u16(rco + 2 + 2u * r) & kRowDeleted)) rows.push_back(RowPtr{pg, uint8_t(r)}.raw());
  }
  return rows;
}

RowIndex::RowIndex(const std::vector<uint32_t>& rows, uint32_t pageCount)
    : page_(pageCount, UINT32_MAX) {
  for (size_t i = 0; i < rows.size(); ++i) {
    const uint32_t pg = rows[i] >> 8, row = rows[i] & 0xFF;
    if (i > 0 && rows[i] <= rows[i - 1]) throwCorrupt("live rows out of order");
    if (pg >= pageCount) throwCorrupt("a live row lies past the end of the file");
    if (page_[pg] == UINT32_MAX) {
      page_[pg] = static_cast<uint32_t>(pages_.size());
      pages_.emplace_back();
      pages_.back().before = static_cast<uint32_t>(i);
    }
    pages_[page_[pg]].live[row / 64] |= uint64_t{1} << (row % 64);
  }
}

uint64_t hashRow(const TableDef& def, bool jet4, const std::vector<uint8_t>& original,
                 const LongValueData& lvData) {
  uint64_t lvHash = 0;
  std::vector<uint8_t> row;  // a copy with long-value pointers blanked, when needed
  for (const Column& c : def.columns) {
    if (!c.longValue()) continue;
    const FieldSpan s = fieldOf(def, jet4, ByteView(original), c);
    if (s.null || s.end - s.begin < 12) continue;
    ByteView field(original.data() + s.begin, s.end - s.begin);
    if (field.u8(3) & 0x80) continue;  // inline: the row holds it
    const std::vector<uint8_t> data = lvData(c, field);
    lvHash = mix(lvHash, hashBytes(data.data(), data.size(), c.number));
    if (row.empty()) row = original;
    std::fill(row.begin() + s.begin + 4, row.begin() + s.begin + 12, 0);
  }
  const std::vector<uint8_t>& hashed = row.empty() ? original : row;
  return mix(hashBytes(hashed.data(), hashed.size()), lvHash);
}

TableDigest digestTable(SourceFile& file, const CatalogTable& table) {
  const SourceTable t = readTable(file, table.tdef);
  const TableDef& d = t.def;
  TableDigest digest;
  digest.tdef = table.tdef;
  digest.name = table.name;
  const std::vector<uint32_t> rows = liveRows(file, d);
  std::vector<uint64_t> hashes(rows.size());
  auto lvData = [&](const Column&, ByteView field) {
    LongValue lv = readLongValue(file, field);
    std::vector<uint8_t> all;
    for (auto& c : lv.chunks) all.insert(all.end(), c.begin(), c.end());
    return all;
  };
  std::vector<uint8_t> row;
  for (size_t i = 0; i < rows.size(); ++i) {
    readRow(file, RowPtr::fromRaw(rows[i]), row);
    hashes[i] = hashRow(d, file.jet4(), row, lvData);
    digest.rows.add(hashes[i]);
  }
  if (d.numRows != rows.size())
    throw Error(3049, "table '" + table.name + "' stores a row count of " +
                          std::to_string(d.numRows) + " for " + std::to_string(rows.size()) +
                          " rows");
  const RowIndex index(rows, file.pageCount());
  for (const RealIndex& r : d.realIndexes) {
    Multiset m;
    std::vector<uint8_t> previous;
    bool first = true;
    // Entries point all over the table: each row's checksum is fetched a few
    // entries before it is added (the multiset does not care about order).
    constexpr size_t kAhead = 16;
    std::pair<uint64_t, uint32_t> pending[kAhead];  // key checksum, row position
    size_t seen = 0;
    forEachLeafEntry(
        file, r.rootPage, d.firstPage, [&](const uint8_t* key, size_t keyLength, RowPtr row) {
          const uint32_t at = index.find(row);
          if (at == UINT32_MAX)
            throw Error(3049,
                        "an entry of an index of table '" + table.name + "' points at no row");
          // The leaf walk hands over the key with its 4 pointer bytes behind it.
          if (!first && !entryLess({previous.data(), uint32_t(previous.size())},
                                   {key, uint32_t(keyLength + 4)}))
            throw Error(3049, "an index of table '" + table.name + "' is out of order");
          first = false;
          previous.assign(key, key + keyLength + 4);
          __builtin_prefetch(&hashes[at]);
          auto& slot = pending[seen++ % kAhead];
          if (seen > kAhead) m.add(mix(slot.first, hashes[slot.second]));
          slot = {hashBytes(key, keyLength), at};
        });
    for (size_t k = seen > kAhead ? seen - kAhead : 0; k < seen; ++k) {
      const auto& slot = pending[k % kAhead];
      m.add(mix(slot.first, hashes[slot.second]));
    }
    digest.indexes.push_back(m);
  }
  return digest;
}

void compareDigests(const std::vector<TableDigest>& expected,
                    const std::vector<TableDigest>& actual) {
  const std::string lead = "The compacted copy does not match its source: ";
  if (expected.size() != actual.size())
    throw Error(3049, lead + "it lists " + std::to_string(actual.size()) + " tables instead of " +
                          std::to_string(expected.size()) + ".");
  for (size_t i = 0; i < expected.size(); ++i) {
    const TableDigest &e = expected[i], &a = actual[i];
    if (e.tdef != a.tdef || e.name != a.name)
      throw Error(3049, lead + "table '" + e.name + "' is missing.");
    if (!(e.rows == a.rows))
      throw Error(3049, lead + "the rows of table '" + e.name + "' differ (" +
                            std::to_string(e.rows.count) + " expected, " +
                            std::to_string(a.rows.count) + " found).");
    if (e.indexes.size() != a.indexes.size())
      throw Error(3049, lead + "table '" + e.name + "' lost an index.");
    for (size_t k = 0; k < e.indexes.size(); ++k)
      if (!(e.indexes[k] == a.indexes[k]))
        throw Error(3049,
                    lead + "index " + std::to_string(k) + " of table '" + e.name + "' differs.");
  }
}

}  // namespace jet::compact
