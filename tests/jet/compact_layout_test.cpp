// What a compacted file looks like inside: rows in primary-key order, no
// deleted or overflow slots left, every page accounted for.
#include <gtest/gtest.h>

#include "jet/Bytes.h"
#include "jet/Compact.h"
#include "jet/CompactDigest.h"
#include "jet/CompactSource.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "jet/UsageMap.h"
#include "jet/support/compact_files.h"
#include "jet/support/compact_judges.h"

using namespace jet::testing;
using namespace jet::compact;

namespace {
const std::string kDemo = std::string(LW_SOURCE_DIR) + "/demo/Ledgerwick.mdb";
const std::string kDemoConnect = ";pwd=m0ssb4nk7q";
}  // namespace

TEST(CompactLayout, RowsFollowThePrimaryKey) {
  ScratchDir dir;
  jet::compactDatabase(kDemo, dir.file("out.mdb"), kDemoConnect);
  SourceFile f(dir.file("out.mdb"), kDemoConnect);
  int checked = 0;
  for (const CatalogTable& t : readCatalogTables(f)) {
    if (t.name != "Orders" && t.name != "Customers") continue;
    const SourceTable st = readTable(f, t.tdef);
    const jet::Column* id = nullptr;
    for (const auto& c : st.def.columns)
      if (c.flags & 0x04) id = &c;
    ASSERT_NE(id, nullptr);
    int32_t previous = INT32_MIN;
    for (uint32_t raw : liveRows(f, st.def)) {
      const auto row = readRow(f, jet::RowPtr::fromRaw(raw));
      const int32_t v = static_cast<int32_t>(jet::le32(row.data() + 2 + id->fixedOffset));
      EXPECT_GT(v, previous) << t.name;
      previous = v;
      ++checked;
    }
  }
  EXPECT_GT(checked, 1000);
}

TEST(CompactLayout, NoDeletedOrOverflowSlotsAndNoPageUnaccountedFor) {
  for (const char* name :
       {"jackcess-V2000-overflowTestV2000.mdb", "jackcess-V1997-overflowTestV1997.mdb",
        "jackcess-V2000-delTestV2000.mdb"}) {
    SCOPED_TRACE(name);
    ScratchDir dir;
    const std::string out = dir.file("out.mdb");
    jet::compactDatabase(testData(name), out, "");
    expectSameInJudges(testData(name), out, "");
    const auto db = jet::Database::open(out, "");
    const jet::UsageMap global = jet::readGlobalMap(*db);
    std::vector<bool> free(db->pageCount(), false);
    for (uint32_t pg : global.pages)
      if (pg < free.size()) free[pg] = true;
    const uint32_t rco = db->format().rowCountOffset;
    int freeInside = 0;
    for (uint32_t pg = 2; pg < db->pageCount(); ++pg) {
      const jet::ByteView p = db->page(pg);
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
