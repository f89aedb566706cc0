// Damaged copies made here, byte by byte: every one must give a clear error
// or a finding, never a crash, a hang or a read out of bounds (the sanitizer
// build runs these too).
#include <gtest/gtest.h>

#include <random>

#include "jet/Checker.h"
#include "jet/DataPage.h"
#include "jet/Database.h"
#include "jet/Dump.h"
#include "jet/IndexReader.h"
#include "jet/LongValue.h"
#include "jet/RowReader.h"
#include "jet/support/jet_testing.h"

namespace {

using jettest::fixture;

// A writable copy of a fixture and the reader's view of the original.
struct Patient {
  std::vector<uint8_t> bytes;
  std::unique_ptr<jet::Database> db;
  std::string connect;

  explicit Patient(const std::string& path, const std::string& connectString = "")
      : bytes(jettest::readFile(path)),
        db(jet::Database::open(path, connectString)),
        connect(connectString) {}

  uint32_t ps() const { return db->pageSize(); }
  // File offset of a byte the reader handed out from page `pg`.
  size_t offsetOf(uint32_t pg, const uint8_t* p) const {
    return size_t{pg} * ps() + static_cast<size_t>(p - db->page(pg).data());
  }
  void put32(size_t at, uint32_t v) { jet::putLe32(bytes.data() + at, v); }
  void put16(size_t at, uint16_t v) { jet::putLe16(bytes.data() + at, v); }
  const jet::CatalogEntry& table(const std::string& name) const {
    const jet::CatalogEntry* e = db->catalog().findTable(name);
    if (!e) throw std::runtime_error("no table " + name);
    return *e;
  }
};

struct Outcome {
  jet::CheckReport report;
  int openError = 0;
  int dumpError = 0;  // 0 when every table dumped
  std::string dumpMessage;

  bool hasError(const std::string& table) const {
    for (const jet::Finding& f : report.findings)
      if (f.severity == jet::Severity::Error && (table.empty() || f.table == table)) return true;
    return false;
  }
  std::string findings() const {
    std::string s;
    for (const jet::Finding& f : report.findings) s += f.table + ": " + f.message + "\n";
    return s;
  }
};

// Opens, checks and dumps the damaged bytes in memory.
Outcome examine(std::vector<uint8_t> bytes, const std::string& connect = "") {
  Outcome o;
  std::unique_ptr<jet::Database> db;
  try {
    db = jet::Database::fromBytes(std::move(bytes), "damaged.mdb", connect);
  } catch (const jet::Error& e) {
    o.openError = e.number();
    return o;
  }
  jet::checkDatabase(*db, o.report);
  try {
    for (const jet::CatalogEntry* t : db->catalog().tables(true))
      jet::dumpTable(*db, *t, [](const std::string&) {});
  } catch (const jet::Error& e) {
    o.dumpError = e.number();
    o.dumpMessage = e.description();
  }
  return o;
}

TEST(Damage, UndamagedFixturesAreClean) {
  for (const char* f :
       {"jackcess-V2000-overflowTestV2000.mdb", "jackcess-V1997-compIndexTestV1997.mdb",
        "jackcess-V2000-delColTestV2000.mdb"}) {
    const Outcome o = examine(jettest::readFile(fixture(f)));
    EXPECT_TRUE(o.report.clean()) << f << "\n" << o.findings();
    EXPECT_EQ(o.dumpError, 0) << o.dumpMessage;
  }
  const Outcome demo = examine(jettest::readFile(jettest::demoDatabase()), ";pwd=m0ssb4nk7q");
  EXPECT_TRUE(demo.report.clean()) << demo.findings();
}

TEST(Damage, TableDefinitionChainLoopedOntoItself) {
  Patient p(jettest::demoDatabase(), ";pwd=m0ssb4nk7q");
  const uint32_t tdef = p.table("Customers").tdefPage();
  p.put32(size_t{tdef} * p.ps() + 4, tdef);
  const Outcome o = examine(p.bytes, p.connect);
  EXPECT_TRUE(o.hasError("Customers")) << o.findings();
  EXPECT_EQ(o.dumpError, 3049);
  EXPECT_NE(o.dumpMessage.find("loops"), std::string::npos) << o.dumpMessage;
}

// The first chained memo/OLE value of a table: its header's file offset and first row.
struct ChainedValue {
  size_t headerOffset = 0;
  jet::RowPtr first;
};

ChainedValue findChain(const Patient& p, const std::string& tableName) {
  const jet::TableDef& def = p.db->tableDef(p.table(tableName).tdefPage());
  jet::RowDecoder decoder(*p.db, def);
  jet::TableScan scan(*p.db, def);
  jet::RawRow row;
  std::vector<jet::Field> fields;
  while (scan.next(row)) {
    decoder.decode(row.bytes, fields);
    for (size_t k = 0; k < def.columns.size(); ++k) {
      if (!def.columns[k].longValue() || fields[k].null || fields[k].bytes.size() < 12) continue;
      const jet::LongValueHeader h = jet::parseLongValueHeader(fields[k].bytes);
      if (h.kind == jet::LongValueKind::Chain)
        return {p.offsetOf(row.stored.page, fields[k].bytes.data()), h.first};
    }
  }
  throw std::runtime_error("no chained long value in " + tableName);
}

TEST(Damage, LongValueChainPointingPastTheEnd) {
  Patient p(jettest::demoDatabase(), ";pwd=m0ssb4nk7q");
  const ChainedValue v = findChain(p, "Customers");
  p.put32(v.headerOffset + 4, jet::RowPtr{p.db->pageCount() + 40, 0}.raw());
  const Outcome o = examine(p.bytes, p.connect);
  EXPECT_TRUE(o.hasError("Customers")) << o.findings();
  EXPECT_EQ(o.dumpError, 3049);
  EXPECT_NE(o.dumpMessage.find("past the end"), std::string::npos) << o.dumpMessage;
}

TEST(Damage, LongValueChainLoopingBack) {
  Patient p(jettest::demoDatabase(), ";pwd=m0ssb4nk7q");
  const ChainedValue v = findChain(p, "Customers");
  const jet::RowSlot first = jet::readSlot(*p.db, v.first);
  p.put32(p.offsetOf(v.first.page, first.bytes.data()), v.first.raw());  // next = itself
  const Outcome o = examine(p.bytes, p.connect);
  EXPECT_TRUE(o.hasError("Customers")) << o.findings();
  EXPECT_NE(o.dumpMessage.find("loops"), std::string::npos) << o.dumpMessage;
}

TEST(Damage, IndexLeafLinkLoopingBack) {
  Patient p(fixture("jackcess-V1997-compIndexTestV1997.mdb"));
  const jet::TableDef& def = p.db->tableDef(p.table("Table1").tdefPage());
  ASSERT_FALSE(def.realIndexes.empty());
  jet::IndexLeafScan scan(*p.db, def.realIndexes[0]);
  jet::IndexEntry e;
  while (scan.next(e)) {
  }
  const uint32_t leaf = scan.leaves().front();
  p.put32(size_t{leaf} * p.ps() + p.db->format().idxNext, leaf);
  const Outcome o = examine(p.bytes);
  EXPECT_TRUE(o.hasError("Table1")) << o.findings();
}

TEST(Damage, OverflowPointerToItself) {
  Patient p(fixture("jackcess-V2000-overflowTestV2000.mdb"));
  const jet::TableDef& def = p.db->tableDef(p.table("Table1").tdefPage());
  jet::TableScan scan(*p.db, def);
  jet::RawRow row;
  bool patched = false;
  while (scan.next(row) && !patched) {
    if (row.header == row.stored) continue;
    const jet::RowSlot slot = jet::readSlot(*p.db, row.header);
    p.put32(p.offsetOf(row.header.page, slot.bytes.data()), row.header.raw());
    patched = true;
  }
  ASSERT_TRUE(patched) << "the fixture has overflow rows";
  const Outcome o = examine(p.bytes);
  EXPECT_TRUE(o.hasError("Table1")) << o.findings();
  EXPECT_EQ(o.dumpError, 3049);
}

TEST(Damage, RowDirectoryAndFreeSpaceNonsense) {
  Patient p(fixture("jackcess-V2000-delColTestV2000.mdb"));
  const jet::TableDef& def = p.db->tableDef(p.table("Table1").tdefPage());
  jet::TableScan scan(*p.db, def);
  ASSERT_FALSE(scan.pages().empty());
  const uint32_t pg = scan.pages().front();
  const size_t base = size_t{pg} * p.ps();
  {
    Patient q(fixture("jackcess-V2000-delColTestV2000.mdb"));
    q.put16(base + p.db->format().rowCountOffset, 0x7FFF);  // more rows than fit
    const Outcome o = examine(q.bytes);
    EXPECT_TRUE(o.hasError("Table1")) << o.findings();
    EXPECT_EQ(o.dumpError, 3049);
  }
  {
    Patient q(fixture("jackcess-V2000-delColTestV2000.mdb"));
    q.put16(base + p.db->format().rowCountOffset + 2, 0x1FFF);  // row 0 starts past the end
    const Outcome o = examine(q.bytes);
    EXPECT_TRUE(o.hasError("Table1")) << o.findings();
  }
  {
    Patient q(fixture("jackcess-V2000-delColTestV2000.mdb"));
    q.put16(base + 2, 17);  // a wrong free-space count alone
    const Outcome o = examine(q.bytes);
    EXPECT_TRUE(o.hasError("Table1")) << o.findings();
    EXPECT_EQ(o.dumpError, 0) << "rows stay readable";
  }
}

TEST(Damage, LivePageMarkedFreeInTheGlobalMap) {
  Patient p(fixture("jackcess-V2000-delColTestV2000.mdb"));
  const jet::RowSlot map = jet::readSlot(*p.db, jet::RowPtr{1, 0});
  ASSERT_EQ(map.bytes.u8(0), 0) << "an inline map";
  const uint32_t start = map.bytes.u32(1);
  const uint32_t tdef = p.table("Table1").tdefPage();
  ASSERT_GE(tdef, start);
  const size_t byte = p.offsetOf(1, map.bytes.data()) + 5 + (tdef - start) / 8;
  p.bytes[byte] |= static_cast<uint8_t>(1u << ((tdef - start) % 8));
  const Outcome o = examine(p.bytes);
  bool found = false;
  for (const jet::Finding& f : o.report.findings)
    found |=
        f.severity == jet::Severity::Error && f.message.find("marked free") != std::string::npos;
  EXPECT_TRUE(found) << o.findings();
}

TEST(Damage, CatalogPageOverwritten) {
  std::vector<uint8_t> bytes = jettest::readFile(fixture("jackcess-V1997-testV1997.mdb"));
  bytes[2 * 2048] = 0x01;  // the catalog's TDEF is no TDEF any more
  const Outcome o = examine(bytes);
  EXPECT_EQ(o.openError, 0);
  EXPECT_TRUE(o.hasError("MSysObjects")) << o.findings();
  EXPECT_EQ(o.dumpError, 3049);
}

TEST(Damage, DirtyCommitSlotIsReportedAsNotClosedCleanly) {
  std::vector<uint8_t> bytes = jettest::readFile(fixture("jackcess-V2000-delTestV2000.mdb"));
  bytes[0xE00 + 2 * 3 + 1] = 0x00;  // slot 3: a user stopped while writing
  const Outcome o = examine(bytes);
  ASSERT_FALSE(o.report.clean());
  EXPECT_NE(o.findings().find("not closed cleanly"), std::string::npos) << o.findings();
}

// Random damage: many copies with a few bytes changed anywhere but the
// header. Whatever happens must be an Error or a finding.
void randomDamage(const std::string& path, uint32_t seed, int rounds) {
  const std::vector<uint8_t> good = jettest::readFile(path);
  const uint32_t ps = good[0x14] == 0 ? 2048 : 4096;
  std::mt19937 rng(seed);
  for (int round = 0; round < rounds; ++round) {
    std::vector<uint8_t> bytes = good;
    const int flips = 1 + static_cast<int>(rng() % 8);
    for (int k = 0; k < flips; ++k) {
      const size_t at = ps + rng() % (bytes.size() - ps);
      bytes[at] = static_cast<uint8_t>(rng());
    }
    const Outcome o = examine(std::move(bytes));
    (void)o;
  }
}

TEST(Damage, RandomBytesNeverCrashJet3) {
  randomDamage(fixture("jackcess-V1997-compIndexTestV1997.mdb"), 1, 120);
}

TEST(Damage, RandomBytesNeverCrashJet4) {
  randomDamage(fixture("jackcess-V2000-overflowTestV2000.mdb"), 2, 120);
}

}  // namespace

namespace {

TEST(Damage, DuplicateKeyInAUniqueIndex) {
  Patient p(jettest::demoDatabase(), ";pwd=m0ssb4nk7q");
  const jet::TableDef& def = p.db->tableDef(p.table("Customers").tdefPage());
  const jet::RealIndex* unique = nullptr;
  for (const jet::RealIndex& ri : def.realIndexes)
    if ((ri.flags & jet::index_flag::kUnique) && ri.columns.size() == 1) unique = &ri;
  ASSERT_NE(unique, nullptr) << "the primary key is unique";
  jet::IndexLeafScan scan(*p.db, *unique);
  jet::IndexEntry e;
  ASSERT_TRUE(scan.next(e));
  const uint32_t leaf = scan.leaves().front();
  const jet::IndexPage page = jet::readIndexPage(*p.db, leaf);
  ASSERT_GE(page.entries.size(), 2u);
  const jet::IndexEntry& a = page.entries[0];
  ASSERT_EQ(a.key.size(), page.entries[1].key.size());
  // Entry 1 is stored right after entry 0 (stored whole) without the shared prefix.
  const size_t entry1 = size_t{leaf} * p.ps() + p.db->format().idxFirstEntry + a.key.size() + 4;
  for (size_t i = page.prefixLength; i < a.key.size(); ++i)
    p.bytes[entry1 + i - page.prefixLength] = a.key[i];
  const Outcome o = examine(p.bytes, p.connect);
  EXPECT_NE(o.findings().find("same key twice"), std::string::npos) << o.findings();
}

}  // namespace
