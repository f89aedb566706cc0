// Compaction as repair: what can be mended safely comes out clean; damage
// that cannot be mended is refused, naming the table and page, and leaves
// nothing behind.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "jet/Bytes.h"
#include "jet/Compact.h"
#include "jet/CompactCodec.h"
#include "jet/CompactDigest.h"
#include "jet/CompactSource.h"
#include "jet/Error.h"
#include "jet/support/compact_files.h"
#include "jet/support/compact_judges.h"

using namespace jet::testing;
using namespace jet::compact;

namespace {

const std::string kDemo = std::string(LW_SOURCE_DIR) + "/demo/Ledgerwick.mdb";
const std::string kDemoConnect = ";pwd=m0ssb4nk7q";

// A copy of a database to damage on purpose (pages are not encoded).
struct Patient {
  ScratchDir dir;
  std::string path = dir.file("db.mdb");
  std::string out = dir.file("out.mdb");
  std::vector<uint8_t> bytes;
  uint32_t ps;
  Patient(const std::string& from) : bytes(readBytes(from)) {
    ps = bytes[0x14] == 0 ? 2048 : 4096;
    save();
  }
  uint8_t* page(uint32_t pg) { return bytes.data() + static_cast<size_t>(pg) * ps; }
  void save() { writeBytes(path, bytes); }
  // The live rows and definition of a table, read from the saved copy.
  SourceTable table(const std::string& name, std::vector<uint32_t>* rows = nullptr) {
    SourceFile f(path, kDemoConnect);
    for (const CatalogTable& t : readCatalogTables(f))
      if (t.name == name) {
        SourceTable st = readTable(f, t.tdef);
        if (rows) *rows = liveRows(f, st.def);
        return st;
      }
    throw std::runtime_error("no table " + name);
  }
  // Offset in the file of a field of a TDEF's first page.
  size_t tdefField(const SourceTable& t, size_t offset) const {
    return static_cast<size_t>(t.def.firstPage) * ps + offset;
  }
};

std::string compactError(Patient& p) {
  try {
    jet::compactDatabase(p.path, p.out, kDemoConnect);
  } catch (const jet::Error& e) {
    EXPECT_FALSE(fileExists(p.out));
    EXPECT_EQ(p.dir.entries(), std::vector<std::string>{"db.mdb"});
    return std::to_string(e.number()) + " " + e.what();
  }
  return "";
}

int32_t maxId(const std::string& path, const std::string& table, const std::string& column) {
  SourceFile f(path, kDemoConnect);
  for (const CatalogTable& t : readCatalogTables(f)) {
    if (t.name != table) continue;
    SourceTable st = readTable(f, t.tdef);
    const jet::Column* c = st.def.findColumn(column);
    for (const auto& col : st.def.columns)
      if (col.name == column) c = &col;
    int32_t best = INT32_MIN;
    for (uint32_t raw : liveRows(f, st.def)) {
      const auto row = readRow(f, jet::RowPtr::fromRaw(raw));
      const FieldSpan s = fieldOf(st.def, f.jet4(), jet::ByteView(row), *c);
      if (!s.null) best = std::max(best, static_cast<int32_t>(jet::le32(row.data() + s.begin)));
    }
    return best;
  }
  return INT32_MIN;
}

uint32_t storedSeed(const std::string& path, const std::string& table) {
  SourceFile f(path, kDemoConnect);
  for (const CatalogTable& t : readCatalogTables(f))
    if (t.name == table) return readTable(f, t.tdef).def.autoNumber;
  return 0;
}

}  // namespace

TEST(CompactRepair, UncleanCloseLeakedPagesAndStaleCountsComeOutClean) {
  Patient p(kDemo);
  // Commit slots of a session that never closed.
  const size_t slots = 0xE00;
  p.bytes[slots + 0] = 0x43;
  p.bytes[slots + 2 * 7] = 0x14;
  // A stale row count, and ten leaked pages at the end.
  const SourceTable orders = p.table("Orders");
  jet::putLe32(p.bytes.data() + p.tdefField(orders, 16), 12345);
  p.bytes.resize(p.bytes.size() + 10 * p.ps, 0x5A);
  p.save();
  // The checker notes at least the count (as information: compaction mends it).
  ASSERT_GE(jet::check(p.path, kDemoConnect).findings.size(), 1u);

  const jet::CompactResult r = jet::compactDatabase(p.path, p.out, kDemoConnect);
  const jet::CheckReport report = jet::check(p.out, kDemoConnect);
  for (const jet::Finding& f : report.findings) ADD_FAILURE() << f.table << ": " << f.message;
  EXPECT_LT(r.outputBytes, readBytes(kDemo).size() / 2);
  const auto out = readBytes(p.out);
  EXPECT_EQ(out[slots], 0x01);
  for (int slot = 1; slot < 256; ++slot) {
    EXPECT_EQ(out[slots + 2 * slot], 0x00) << slot;
    EXPECT_EQ(out[slots + 2 * slot + 1], 0x01) << slot;
  }
  std::vector<uint32_t> rows;
  Patient q(p.out);
  const uint32_t stored = q.table("Orders", &rows).def.numRows;
  EXPECT_EQ(stored, rows.size());
  EXPECT_EQ(stored, 1001u);
  expectSameInJudges(kDemo, p.out, kDemoConnect);
}

TEST(CompactRepair, AutoNumberSeedFollowsTheHighestRemainingValue) {
  ScratchDir dir;
  const int32_t top = maxId(kDemo, "Customers", "ID");
  ASSERT_LT(top, static_cast<int32_t>(storedSeed(kDemo, "Customers")))
      << "the demo should have rows deleted at the end";
  jet::compactDatabase(kDemo, dir.file("reset.mdb"), kDemoConnect);
  EXPECT_EQ(storedSeed(dir.file("reset.mdb"), "Customers"), static_cast<uint32_t>(top));

  jet::CompactOptions keep;
  keep.keepAutoNumberSeed = true;
  jet::compactDatabase(kDemo, dir.file("kept.mdb"), kDemoConnect, keep);
  EXPECT_EQ(storedSeed(dir.file("kept.mdb"), "Customers"), storedSeed(kDemo, "Customers"));

  // A seed below a value in use is raised even when kept.
  Patient p(kDemo);
  const SourceTable customers = p.table("Customers");
  jet::putLe32(p.bytes.data() + p.tdefField(customers, 20), 3);
  p.save();
  jet::compactDatabase(p.path, p.out, kDemoConnect, keep);
  EXPECT_EQ(storedSeed(p.out, "Customers"), static_cast<uint32_t>(top));
}

TEST(CompactRepair, RefusesAnIndexEntryForAMissingRow) {
  Patient p(kDemo);
  const SourceTable orders = p.table("Orders");
  // The first entry of the first leaf of the second index: point it at row 250.
  uint32_t pg = orders.def.realIndexes[1].rootPage;
  while (p.page(pg)[0] == 0x03) {
    const uint8_t* node = p.page(pg);
    size_t end = 0;
    while (!((node[27 + end / 8] >> (end % 8)) & 1)) ++end;
    const uint8_t* e = node + 0x1E0 + end;
    pg = (uint32_t{e[-4]} << 24) | (uint32_t{e[-3]} << 16) | (uint32_t{e[-2]} << 8) | e[-1];
  }
  uint8_t* leaf = p.page(pg);
  size_t end = 0;
  while (!((leaf[27 + end / 8] >> (end % 8)) & 1)) ++end;
  leaf[0x1E0 + end - 1] = 250;
  p.save();
  const std::string error = compactError(p);
  EXPECT_NE(error.find("Table 'Orders'"), std::string::npos) << error;
  EXPECT_NE(error.find("page " + std::to_string(orders.def.realIndexes[1].rootPage)),
            std::string::npos)
      << error;
}

TEST(CompactRepair, RefusesARowThatCannotBeRead) {
  Patient p(kDemo);
  std::vector<uint32_t> rows;
  p.table("Customers", &rows);
  const jet::RowPtr victim = jet::RowPtr::fromRaw(rows.at(rows.size() / 2));
  // Its directory entry now points into the page header.
  jet::putLe16(p.page(victim.page) + 14 + 2 * victim.row, 0x0004);
  p.save();
  const std::string error = compactError(p);
  EXPECT_NE(error.find("Table 'Customers' (page " + std::to_string(victim.page) + ")"),
            std::string::npos)
      << error;
}

TEST(CompactRepair, RefusesALongValueChainThatDoesNotAddUp) {
  // The first piece of a chained memo: cut after it, or pointing at itself.
  for (const bool loop : {false, true}) {
    SCOPED_TRACE(loop ? "loop" : "cut");
    Patient p(kDemo);
    std::vector<uint32_t> rows;
    const SourceTable customers = p.table("Customers", &rows);
    SourceFile f(p.path, kDemoConnect);
    const jet::Column* notes = nullptr;
    for (const auto& c : customers.def.columns)
      if (c.longValue() && !notes) notes = &c;
    ASSERT_NE(notes, nullptr);
    bool done = false;
    for (uint32_t raw : rows) {
      const auto row = readRow(f, jet::RowPtr::fromRaw(raw));
      const FieldSpan s = fieldOf(customers.def, true, jet::ByteView(row), *notes);
      if (s.null || s.end - s.begin < 12 || (row[s.begin + 3] & 0xC0) != 0) continue;
      const jet::RowPtr first = jet::RowPtr::fromRaw(jet::le32(row.data() + s.begin + 4));
      const uint16_t start = jet::le16(p.page(first.page) + 14 + 2 * first.row) & 0x1FFF;
      jet::putLe32(p.page(first.page) + start, loop ? first.raw() : 0);
      p.save();
      const std::string error = compactError(p);
      EXPECT_NE(error.find("Table 'Customers' (page " + std::to_string(raw >> 8) + ")"),
                std::string::npos)
          << error;
      EXPECT_NE(error.find(loop ? "loops" : "ends before its length"), std::string::npos) << error;
      done = true;
      break;
    }
    EXPECT_TRUE(done) << "the demo has no chained long value";
  }
}

TEST(CompactRepair, KeepsThePasswordAndRefusesAWrongOne) {
  ScratchDir dir;
  try {
    jet::compactDatabase(kDemo, dir.file("x.mdb"), ";pwd=wrong");
    ADD_FAILURE() << "a wrong password was accepted";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), 3031);
  }
  EXPECT_TRUE(dir.entries().empty());
  jet::compactDatabase(kDemo, dir.file("out.mdb"), kDemoConnect);
  EXPECT_THROW(SourceFile(dir.file("out.mdb"), ""), jet::Error);
  EXPECT_NO_THROW(SourceFile(dir.file("out.mdb"), kDemoConnect));
}

TEST(CompactRepair, AnEncodedDatabaseStaysEncodedPageByPage) {
  Patient p(testData("jackcess-V2000-delTestV2000.mdb"));
  const uint32_t key = 0x1234ABCD;
  maskHeader(p.bytes.data(), true);
  jet::putLe32(p.bytes.data() + 0x3E, key);
  maskHeader(p.bytes.data(), true);
  for (uint32_t pg = 1; pg < p.bytes.size() / p.ps; ++pg) codePage(key, pg, p.page(pg), p.ps);
  p.save();
  jet::compactDatabase(p.path, p.out, "");
  std::vector<uint8_t> out = readBytes(p.out);
  std::vector<uint8_t> head(out.begin(), out.begin() + p.ps);
  maskHeader(head.data(), true);
  EXPECT_EQ(jet::le32(head.data() + 0x3E), key);
  // Decoded with its own number, page 2 is the catalog's definition.
  codePage(key, 2, out.data() + 2 * p.ps, p.ps);
  EXPECT_EQ(out[2 * p.ps], 0x02);
  EXPECT_TRUE(jet::check(p.out, "").clean());
  expectSameInJudges(p.path, p.out, "");
}
