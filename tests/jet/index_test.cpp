// Index trees read back: every index has one entry per live row, in order,
// pointing at live rows; and where the key is a single long integer column,
// the decompressed key bytes are exactly that row's value encoded as Jet
// encodes it, which proves prefix decompression and pointer splitting.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "jet/Database.h"
#include "jet/IndexReader.h"
#include "jet/RowReader.h"
#include "jet/Value.h"
#include "jet/support/jet_testing.h"

namespace {

struct Source {
  std::string path, connect;
};

std::vector<Source> sources() {
  return {{jettest::fixture("jackcess-V1997-compIndexTestV1997.mdb"), ""},
          {jettest::fixture("jackcess-V1997-testV1997.mdb"), ""},
          {jettest::fixture("jackcess-V2000-overflowTestV2000.mdb"), ""},
          {jettest::fixture("mdbreader-V2000_with-password.mdb"), ";pwd=password"},
          {jettest::demoDatabase(), ";pwd=m0ssb4nk7q"}};
}

// Jet's key for a long integer: a flag byte (0x7F ascending, 0x80 descending
// with the value bytes inverted), then big-endian with the sign bit flipped.
std::vector<uint8_t> longKey(int32_t v, bool ascending) {
  const uint32_t u = static_cast<uint32_t>(v) ^ 0x80000000u;
  std::vector<uint8_t> k{0x7F, static_cast<uint8_t>(u >> 24), static_cast<uint8_t>(u >> 16),
                         static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u)};
  if (!ascending) {
    k[0] = 0x80;
    for (size_t i = 1; i < k.size(); ++i) k[i] = static_cast<uint8_t>(~k[i]);
  }
  return k;
}

bool less(const jet::IndexEntry& a, const jet::IndexEntry& b) {
  if (a.key != b.key)
    return std::lexicographical_compare(a.key.begin(), a.key.end(), b.key.begin(), b.key.end());
  if (a.page != b.page) return a.page < b.page;
  return a.row < b.row;
}

TEST(Index, EntriesMatchLiveRowsAndLongKeysMatchValues) {
  size_t indexesChecked = 0, longKeysChecked = 0;
  for (const Source& s : sources()) {
    SCOPED_TRACE(s.path);
    const auto db = jet::Database::open(s.path, s.connect);
    for (const jet::CatalogEntry* t : db->catalog().tables(true)) {
      SCOPED_TRACE(t->name);
      const jet::TableDef& def = db->tableDef(t->tdefPage());
      // Live rows by header slot, with their decoded fields.
      std::map<uint32_t, std::vector<jet::Value>> rows;
      jet::RowDecoder decoder(*db, def);
      jet::TableScan scan(*db, def);
      jet::RawRow row;
      std::vector<jet::Field> fields;
      while (scan.next(row)) {
        decoder.decode(row.bytes, fields);
        std::vector<jet::Value>& values = rows[row.header.raw()];
        for (size_t k = 0; k < def.columns.size(); ++k) {
          values.emplace_back();
          if (!def.columns[k].longValue())
            jet::decodeValue(*db, def.columns[k], fields[k], values.back());
        }
      }
      for (const jet::RealIndex& index : def.realIndexes) {
        const std::vector<jet::IndexEntry> entries = jet::readIndexEntries(*db, index);
        ++indexesChecked;
        if (index.flags & jet::index_flag::kIgnoreNulls)
          EXPECT_LE(entries.size(), rows.size());
        else
          EXPECT_EQ(entries.size(), rows.size());
        for (size_t k = 1; k < entries.size(); ++k)
          EXPECT_TRUE(less(entries[k - 1], entries[k])) << "entry " << k << " out of order";
        const jet::Column* only = nullptr;
        size_t onlyIndex = 0;
        if (index.columns.size() == 1) {
          only = def.columnByNumber(index.columns[0].column);
          if (only) onlyIndex = static_cast<size_t>(only - def.columns.data());
        }
        for (const jet::IndexEntry& e : entries) {
          const auto it = rows.find(jet::RowPtr{e.page, e.row}.raw());
          ASSERT_NE(it, rows.end()) << "entry points at page " << e.page << " row " << int(e.row);
          if (only && only->type == jet::column_type::kLong &&
              it->second[onlyIndex].kind == jet::Value::Kind::Integer) {
            EXPECT_EQ(e.key, longKey(static_cast<int32_t>(it->second[onlyIndex].integer),
                                     index.columns[0].ascending));
            ++longKeysChecked;
          }
        }
      }
    }
  }
  EXPECT_GT(indexesChecked, 20u);
  EXPECT_GT(longKeysChecked, 500u) << "the fixtures hold many long integer keys";
}

TEST(Index, PrefixCompressedPagesRebuildWholeEntries) {
  // compIndexTest's large leaves store entries with a shared prefix; every
  // entry must come back as long as the first one of its index.
  const auto db =
      jet::Database::open(jettest::fixture("jackcess-V1997-compIndexTestV1997.mdb"), "");
  size_t compressedPages = 0;
  for (uint32_t pg = 3; pg < db->pageCount(); ++pg) {
    const jet::ByteView page = db->page(pg);
    if (page.u8(0) != jet::page_type::kIndexLeaf) continue;
    const jet::IndexPage p = jet::readIndexPage(*db, pg);
    if (p.prefixLength == 0 || p.entries.size() < 2) continue;
    ++compressedPages;
    for (const jet::IndexEntry& e : p.entries) {
      ASSERT_GE(e.key.size(), p.prefixLength > 4 ? p.prefixLength - 4u : 0u);
      EXPECT_EQ(0, std::memcmp(e.key.data(), p.entries[0].key.data(),
                               std::min<size_t>(p.prefixLength, e.key.size())));
    }
  }
  EXPECT_GT(compressedPages, 0u);
}

}  // namespace
