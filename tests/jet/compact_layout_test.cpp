// What a compacted file looks like inside: rows in primary-key order, no
// deleted or overflow slots left, every page accounted for.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "jet/Engine.h"
#include "jet/db/TableScan.h"
#include "jet/format/LongValue.h"
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

// Memo and OLE values fill their pages: the small ones and the last pieces
// of chains go where a large value left room (the demo's copy left 15% of
// its long-value pages empty when each value went on the newest page only).
TEST(CompactLayout, LongValuesFillTheirPages) {
  TempDir dir;
  jet::compactDatabase(demoDatabase(), dir.file("out.mdb"), connectOf(demoDatabase()));
  const auto db = jettest::open(dir.file("out.mdb"), connectOf(demoDatabase()));
  uint64_t pages = 0, free = 0;
  for (uint32_t pg = 2; pg < db->pageCount(); ++pg) {
    const jet::Page page = db->page(pg);
    const jet::ByteView p = page.bytes();
    if (p.u8(0) != 0x01 || p.u32(4) != jet::kLvalOwner) continue;
    ++pages;
    free += p.u16(2);
  }
  ASSERT_GT(pages, 100u);
  EXPECT_LT(free, pages * db->pageSize() / 20);
}

namespace {

// What each value of a column names in MSysObjects, sorted ("?" for none).
std::vector<std::string> namedObjects(const std::string& path, const char* table,
                                      const char* column) {
  const auto db = jettest::open(path);
  std::map<int32_t, std::string> names;
  for (const jet::CatalogEntry& e : db->catalog().entries) names[e.id] = e.name;
  const jet::TableDef& def = db->tableDef(db->catalog().findTable(table)->tdefPage());
  std::vector<std::string> out;
  jet::TableScan scan(*db, def);
  for (jet::RawRow row; scan.next(row);) {
    const jet::Field f = jet::RowFields(def, db->jet4(), row.bytes).field(*def.findColumn(column));
    if (f.null) continue;
    const auto it = names.find(static_cast<int32_t>(f.bytes.u32(0)));
    out.push_back(it == names.end() ? "?" : it->second);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Renames a column of a system table in its definition, same length.
void renameColumn(const std::string& path, const char* table, const std::string& from,
                  const std::string& to) {
  uint32_t tdef = 0;
  {
    const auto db = jettest::open(path);
    tdef = db->catalog().findTable(table)->tdefPage();
  }
  Surgery s(path);
  std::vector<uint8_t> page = s.page(tdef);
  std::string a, b;  // UTF-16LE
  for (size_t i = 0; i < from.size(); ++i) a += {from[i], '\0'}, b += {to[i], '\0'};
  const auto at = std::search(page.begin(), page.end(), a.begin(), a.end());
  ASSERT_NE(at, page.end());
  std::copy(b.begin(), b.end(), at);
  s.setPage(tdef, page);
  s.save(path);
}

// Sets the value that follows `after` (both Longs) in the one row holding
// them, wherever it is in the file.
void plantLong(const std::string& path, uint32_t after, uint32_t old, uint32_t value) {
  std::vector<uint8_t> bytes = readFile(path), pattern(8);
  jet::putLe32(pattern.data(), after);
  jet::putLe32(pattern.data() + 4, old);
  const auto at = std::search(bytes.begin(), bytes.end(), pattern.begin(), pattern.end());
  ASSERT_NE(at, bytes.end());
  ASSERT_EQ(std::search(at + 1, bytes.end(), pattern.begin(), pattern.end()), bytes.end());
  jet::putLe32(&*at + 4, value);
  writeFile(path, bytes);
}

}  // namespace

// Moved table definitions: the Ids that permission and navigation-pane rows
// hold name the same objects as before, and an Id naming no object still
// names none; a system column that may hold an Id and is not known keeps the
// layout, and the copy is still verified.
TEST(CompactLayout, RelocationRewritesTheIdsItKnowsAndKeepsTheLayoutOtherwise) {
  struct Case {
    const char* file;
    const char* table;
    const char* column;
    bool rename;         // ACM of MSysACEs becomes AID, a column not known
    bool stray = false;  // the pane's row 13 names Id 6, no object, where a table would go
  };
  for (const Case& c :
       {Case{"jackcess-V2000-testV2000.mdb", "MSysACEs", "ObjectId", false},
        Case{"jackcess-V2003-compIndexTestV2003.mdb", "MSysNavPaneObjectIDs", "Id", false},
        Case{"jackcess-V2003-indexTestV2003.mdb", "MSysNavPaneGroupToObjects", "ObjectID", false},
        Case{"jackcess-V2003-indexTestV2003.mdb", "MSysNavPaneGroupToObjects", "ObjectID", false,
             true},
        Case{"mdbreader-V2003_no-password.mdb", "MSysNavPaneObjectIDs", "Id", false},
        Case{"jackcess-V2000-testV2000.mdb", "MSysACEs", "ObjectId", true}}) {
    SCOPED_TRACE(std::string(c.file) + (c.rename ? " renamed" : "") + (c.stray ? " stray" : ""));
    TempDir dir;
    const std::string src = dir.file("src.mdb"), out = dir.file("out.mdb");
    const std::vector<std::string> all = sharedFixtures();
    const auto found = std::find_if(all.begin(), all.end(),
                                    [&](const std::string& f) { return f.ends_with(c.file); });
    if (found == all.end()) GTEST_SKIP() << "shared fixtures not present";
    writeFile(src, readFile(*found));
    if (c.rename) renameColumn(src, "MSysACEs", "ACM", "AID");
    if (c.stray) plantLong(src, 13, 21, 6);
    const jet::CompactResult r = jet::compactDatabase(src, out, "");
    EXPECT_EQ(r.relocated, !c.rename);
    EXPECT_EQ(r.fallbackReason.find("'AID'") != std::string::npos, c.rename) << r.fallbackReason;
    const std::vector<std::string> before = namedObjects(src, c.table, c.column);
    EXPECT_EQ(namedObjects(out, c.table, c.column), before);
    EXPECT_LT(std::count(before.begin(), before.end(), "?"), std::ssize(before));
  }
}
