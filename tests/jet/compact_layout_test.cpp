// What a compacted file looks like inside: rows in primary-key order, no
// deleted or overflow slots left, every page accounted for.
#include <gtest/gtest.h>

#include "jet/Engine.h"
#include "jet/db/TableScan.h"
#include "jet/format/Row.h"
#include "jet/format/UsageMap.h"
#include "jet/support/jet_testing.h"

using namespace jettest;

TEST(CompactLayout, RowsFollowThePrimaryKey) {
  TempDir dir;
  jet::compactDatabase(demoDatabase(), dir.file("out.mdb"), connectOf(demoDatabase()));
  const auto db = jettest::open(dir.file("out.mdb"), connectOf(demoDatabase()));
  int checked = 0;
  for (const char* name : {"Orders", "Customers"}) {
    const jet::TableDef& def = db->tableDef(db->catalog().findTable(name)->tdefPage());
    const jet::Column* id = nullptr;
    for (const jet::LogicalIndex& li : def.logicalIndexes)
      if (li.primaryKey())
        id = def.columnByNumber(def.realIndexes.at(li.realIndex).columns.at(0).column);
    ASSERT_NE(id, nullptr) << name << " has no primary key";
    int32_t previous = INT32_MIN;
    jet::TableScan scan(*db, def);
    for (jet::RawRow row; scan.next(row); ++checked) {
      const int32_t v = static_cast<int32_t>(
          jet::le32(jet::RowFields(def, true, row.bytes).field(*id).bytes.data()));
      EXPECT_GT(v, previous) << name;
      previous = v;
    }
  }
  EXPECT_GT(checked, 1000);
}

TEST(CompactLayout, NoDeletedOrOverflowSlotsAndNoPageUnaccountedFor) {
  for (const char* name :
       {"jackcess-V2000-overflowTestV2000.mdb", "jackcess-V1997-overflowTestV1997.mdb",
        "jackcess-V2000-delTestV2000.mdb"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    const std::string out = dir.file("out.mdb");
    jet::compactDatabase(fixture(name), out, "");
    const auto db = jettest::open(out);
    std::vector<bool> free(db->pageCount(), false);
    for (uint32_t pg : jet::readGlobalMap(db->pages()).pages) free[pg] = true;
    const uint32_t rco = db->format().rowCountOffset;
    int freeInside = 0;
    for (uint32_t pg = 2; pg < db->pageCount(); ++pg) {
      const jet::Page page = db->page(pg);
      const jet::ByteView p = page.bytes();
      if (free[pg]) {
        ++freeInside;
        continue;
      }
      EXPECT_NE(p.u8(0), 0) << "page " << pg << " is neither used nor free";
      if (p.u8(0) != 0x01) continue;
      for (uint16_t r = 0; r < p.u16(rco); ++r)
        EXPECT_EQ(p.u16(rco + 2 + 2 * r) & 0xC000, 0) << "page " << pg << " row " << r;
    }
    // Free pages only where pinned definitions left a gap.
    EXPECT_LT(freeInside, 8);
  }
}
