#include "jet/compact/Digest.h"

#include <algorithm>

#include "jet/db/Database.h"
#include "jet/db/TableScan.h"
#include "jet/format/IndexPage.h"
#include "jet/format/LongValue.h"
#include "jet/format/Row.h"

namespace jet::compact {

std::vector<CatalogTable> catalogTables(const Database& db, std::vector<std::string>* passedOver) {
  std::vector<CatalogTable> tables;
  const auto bad = [&](const std::string& why) {
    if (!passedOver) throwCorrupt(why);
    passedOver->push_back(why);
  };
  for (const CatalogEntry* e : db.catalog().tables(true)) {
    if (e->tdefPage() < 2 || e->tdefPage() >= db.pageCount()) {
      bad("the catalog lists table '" + e->name + "' at page " + std::to_string(e->tdefPage()) +
          ", outside the file");
      continue;
    }
    tables.push_back({e->tdefPage(), e->name, e->system()});
  }
  std::sort(tables.begin(), tables.end(),
            [](const CatalogTable& a, const CatalogTable& b) { return a.tdef < b.tdef; });
  for (size_t k = 1; k < tables.size(); ++k)
    if (tables[k].tdef == tables[k - 1].tdef) {
      bad("the catalog lists two tables at page " + std::to_string(tables[k].tdef));
      tables.erase(tables.begin() + static_cast<ptrdiff_t>(k--));
    }
  // The catalog is at page 2 whether or not its own row survived.
  if (tables.empty() || tables.front().tdef != 2)
    tables.insert(tables.begin(), CatalogTable{2, "MSysObjects", true});
  return tables;
}

uint64_t RowHasher::hash(ByteView row, uint64_t lvHash) {
  const RowFields fields(def_, db_.jet4(), row);
  bool copied = false;
  for (const Column& c : def_.columns) {
    if (!c.longValue()) continue;
    const Field f = fields.field(c);
    if (f.null || f.bytes.size() < kLongValueHeader || (f.bytes.u8(3) & 0x80)) continue;
    // Out of the row: its pointer changes in a compaction, its data must not.
    if (!copied) blanked_.assign(row.begin(), row.end());
    copied = true;
    const size_t at = static_cast<size_t>(f.bytes.data() - row.data());
    std::fill(blanked_.begin() + at + 4, blanked_.begin() + at + kLongValueHeader, 0);
  }
  const ByteView hashed = copied ? ByteView(blanked_) : row;
  return mix(hashBytes(hashed.data(), hashed.size()), lvHash);
}

uint64_t RowHasher::hash(ByteView row) {
  const RowFields fields(def_, db_.jet4(), row);
  uint64_t lvHash = 0;
  for (const Column& c : def_.columns) {
    if (!c.longValue()) continue;
    const Field f = fields.field(c);
    if (f.null || f.bytes.size() < kLongValueHeader || (f.bytes.u8(3) & 0x80)) continue;
    readLongValue(db_.pages(), f.bytes, data_);
    lvHash = mixLongValue(lvHash, c, data_.data(), data_.size());
  }
  return hash(row, lvHash);
}

namespace {

// One index's entries, each as a (key, row pointer) checksum, checked for
// order. Rows are summed with their pointers too, so an entry that names
// the wrong row, or none, changes the sum.
class IndexDigest : public IndexVisitor {
 public:
  explicit IndexDigest(const std::string& table) : table_(table) {}

  void onEntry(const IndexEntry& e) override {
    if (set.count > 0 && compareEntries(ByteView(previous_), previousRow_, e.key, e.row) >= 0)
      throw Error(3049, "an index of table '" + table_ + "' is out of order");
    previous_.assign(e.key.begin(), e.key.end());
    previousRow_ = e.row;
    set.add(entryChecksum(e.key, e.row.raw()));
  }

  Multiset set;

 private:
  const std::string& table_;
  std::vector<uint8_t> previous_;
  RowPtr previousRow_;
};

}  // namespace

TableDigest digestTable(const Database& db, const CatalogTable& table) {
  const TableDef& d = db.tableDef(table.tdef);
  TableDigest digest;
  digest.tdef = table.tdef;
  digest.name = table.name;
  RowHasher hasher(db, d);
  TableScan scan(db, d);
  RawRow row;
  while (scan.next(row)) digest.rows.add(mix(hasher.hash(row.bytes), row.header.raw()));
  if (d.numRows != digest.rows.count)
    throw Error(3049, "table '" + table.name + "' stores a row count of " +
                          std::to_string(d.numRows) + " for " + std::to_string(digest.rows.count) +
                          " rows");
  for (const RealIndex& r : d.realIndexes) {
    IndexDigest entries(table.name);
    walkIndex(db.pages(), r.rootPage, d.firstPage, entries);
    digest.indexes.push_back(entries.set);
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
