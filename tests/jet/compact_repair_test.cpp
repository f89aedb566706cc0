// Compaction as repair: what can be mended safely comes out clean; damage
// that cannot be mended is refused, naming the table and page, and leaves
// nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>

#include "jet/Engine.h"
#include "jet/db/RowKeys.h"
#include "jet/db/TableScan.h"
#include "jet/format/IndexPage.h"
#include "jet/format/Row.h"
#include "jet/support/jet_testing.h"
#include "jet/support/judges.h"
#include "jet/util/Rc4.h"

using namespace jettest;

namespace {

const std::string kConnect = std::string(";pwd=") + kDemoPassword;

// A copy of a database to damage on purpose.
struct Patient {
  TempDir dir;
  std::string path = dir.file("db.mdb");
  std::string out = dir.file("out.mdb");
  Surgery s;
  explicit Patient(const std::string& from = demoDatabase()) : s(from) { s.save(path); }
  void save() { s.save(path); }
  // A table of the saved copy, with its database kept open.
  struct Table {
    std::unique_ptr<jet::Database> db;
    const jet::TableDef* def;
  };
  Table table(const std::string& name) const {
    Table t{jettest::open(path), nullptr};
    t.def = &t.db->tableDef(t.db->catalog().findTable(name)->tdefPage());
    return t;
  }
  void patch(uint32_t pg, size_t offset, std::initializer_list<uint8_t> bytes) {
    std::vector<uint8_t> p = s.page(pg);
    std::copy(bytes.begin(), bytes.end(), p.begin() + static_cast<ptrdiff_t>(offset));
    s.setPage(pg, p);
  }
  void patch32(uint32_t pg, size_t offset, uint32_t v) {
    patch(pg, offset, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
  }
  // "number message" of the refusal; the failure must leave nothing.
  std::string compactError() const {
    try {
      jet::compactDatabase(path, out, connectOf(path));
    } catch (const jet::Error& e) {
      EXPECT_EQ(dir.entries(), std::vector<std::string>{"db.mdb"});
      return std::to_string(e.number()) + " " + e.what();
    }
    return "";
  }
};

// A table's Long column: highest value and the stored seed.
std::pair<int32_t, uint32_t> autoNumberOf(const std::string& path, const std::string& table) {
  const auto db = jettest::open(path);
  const jet::TableDef& def = db->tableDef(db->catalog().findTable(table)->tdefPage());
  const jet::Column* id = def.findColumn("ID");
  if (!id) throw std::runtime_error(table + " has no ID");
  int32_t top = INT32_MIN;
  jet::TableScan scan(*db, def);
  for (jet::RawRow row; scan.next(row);) {
    const jet::Field f = jet::RowFields(def, db->jet4(), row.bytes).field(*id);
    if (!f.null) top = std::max(top, static_cast<int32_t>(jet::le32(f.bytes.data())));
  }
  return {top, def.autoNumber};
}

}  // namespace

TEST(CompactRepair, LeakedPagesAndStaleCountsComeOutClean) {
  Patient p;
  const auto orders = p.table("Orders");
  p.patch32(orders.def->firstPage, orders.def->numRowsOffset, 3);  // stale: too low
  for (uint32_t i = 0; i < 10; ++i)
    p.s.setPage(p.s.pages(), std::vector<uint8_t>(p.s.pageSize, 0x5A));
  p.save();
  ASSERT_FALSE(jet::check(p.path, kConnect).findings.empty());

  const jet::CompactResult r = jet::compactDatabase(p.path, p.out, kConnect);
  for (const jet::Finding& f : jet::check(p.out, kConnect).findings)
    ADD_FAILURE() << f.table << ": " << f.message;
  EXPECT_LT(r.outputBytes, readFile(demoDatabase()).size() / 2);
  const auto db = jettest::open(p.out);
  const jet::TableDef& def = db->tableDef(db->catalog().findTable("Orders")->tdefPage());
  EXPECT_EQ(def.numRows, jet::liveRows(*db, def).size());
  REQUIRE_JUDGES();
  expectSameInJudges(demoDatabase(), p.out, kDemoPassword);
}

TEST(CompactRepair, AutoNumberSeedFollowsTheHighestRemainingValue) {
  TempDir dir;
  const auto [top, seed] = autoNumberOf(demoDatabase(), "Customers");
  ASSERT_LT(top, static_cast<int32_t>(seed)) << "the demo should have rows deleted at the end";
  jet::compactDatabase(demoDatabase(), dir.file("reset.mdb"), kConnect);
  EXPECT_EQ(autoNumberOf(dir.file("reset.mdb"), "Customers").second, static_cast<uint32_t>(top));

  jet::CompactOptions keep;
  keep.keepAutoNumberSeed = true;
  jet::compactDatabase(demoDatabase(), dir.file("kept.mdb"), kConnect, keep);
  EXPECT_EQ(autoNumberOf(dir.file("kept.mdb"), "Customers").second, seed);

  // A seed below a value in use is raised even when kept.
  Patient p;
  const auto customers = p.table("Customers");
  p.patch32(customers.def->firstPage, customers.def->autoNumberOffset, 3);
  p.save();
  jet::compactDatabase(p.path, p.out, kConnect, keep);
  EXPECT_EQ(autoNumberOf(p.out, "Customers").second, static_cast<uint32_t>(top));
}

TEST(CompactRepair, RefusesALongValueChainThatDoesNotAddUp) {
  // The first piece of a chained memo: cut after it, or pointing at itself.
  for (const bool loop : {false, true}) {
    SCOPED_TRACE(loop ? "loop" : "cut");
    Patient p;
    const auto customers = p.table("Customers");
    const jet::Column* notes = nullptr;
    for (const jet::Column& c : customers.def->columns)
      if (c.longValue() && !notes) notes = &c;
    ASSERT_NE(notes, nullptr);
    jet::TableScan scan(*customers.db, *customers.def);
    bool done = false;
    for (jet::RawRow row; !done && scan.next(row);) {
      const jet::Field f = jet::RowFields(*customers.def, true, row.bytes).field(*notes);
      if (f.null || f.bytes.size() < 12 || (f.bytes.u8(3) & 0xC0) != 0) continue;
      const jet::RowPtr first = jet::RowPtr::fromRaw(f.bytes.u32(4));
      const uint16_t start = jet::le16(p.s.page(first.page).data() + 14 + 2 * first.row) & 0x1FFF;
      p.patch32(first.page, start, loop ? first.raw() : 0);
      p.save();
      const std::string error = p.compactError();
      EXPECT_NE(error.find("Table 'Customers' (page " + std::to_string(row.header.page) + ")"),
                std::string::npos)
          << error;
      EXPECT_NE(error.find(loop ? "loops" : "bytes short of"), std::string::npos) << error;
      done = true;
    }
    EXPECT_TRUE(done) << "the demo has no chained long value";
  }
}

TEST(CompactRepair, KeepsThePasswordAndRefusesAWrongOne) {
  TempDir dir;
  EXPECT_EQ(errorOf([&] { jet::compactDatabase(demoDatabase(), dir.file("x.mdb"), ";pwd=wrong"); }),
            3031);
  EXPECT_TRUE(dir.entries().empty());
  jet::compactDatabase(demoDatabase(), dir.file("out.mdb"), kConnect);
  EXPECT_EQ(errorOf([&] { jettest::open(dir.file("out.mdb"), ""); }), 3031);
  EXPECT_EQ(errorOf([&] { jettest::open(dir.file("out.mdb"), kConnect); }), 0);
}

TEST(CompactRepair, AnEncodedDatabaseStaysEncodedPageByPage) {
  Patient p(fixture("jackcess-V2000-delTestV2000.mdb"));
  const uint32_t key = 0x1234ABCD;
  std::vector<std::vector<uint8_t>> pages;
  for (uint32_t pg = 1; pg < p.s.pages(); ++pg) pages.push_back(p.s.page(pg));
  // The key lives behind page 0's mask.
  jet::Rc4::apply(0x6b39dac7u, p.s.bytes.data() + 0x18, 0x80 - 0x18);
  jet::putLe32(p.s.bytes.data() + 0x3E, key);
  jet::Rc4::apply(0x6b39dac7u, p.s.bytes.data() + 0x18, 0x80 - 0x18);
  p.s.dbKey = key;
  for (uint32_t pg = 1; pg < p.s.pages(); ++pg) p.s.setPage(pg, pages[pg - 1]);
  p.save();
  ASSERT_NE(readFile(p.path), readFile(fixture("jackcess-V2000-delTestV2000.mdb")));
  jet::compactDatabase(p.path, p.out, "");
  const Surgery out(p.out);
  EXPECT_EQ(out.dbKey, key);
  EXPECT_NE(readFile(p.out)[2 * out.pageSize], 0x02) << "page 2 is stored in the clear";
  EXPECT_EQ(out.page(2)[0], 0x02);
  EXPECT_TRUE(jet::check(p.out, "").clean());
  REQUIRE_JUDGES();
  expectSameInJudges(p.path, p.out, "");
}

namespace {

enum class Tear { OneLeaf, EveryLeafOfTheTable, Node };

std::string sharedFixture(const std::string& name) {
  for (const std::string& f : sharedFixtures())
    if (f.size() > name.size() &&
        f.compare(f.size() - name.size() - 1, std::string::npos, "/" + name) == 0)
      return f;
  return "";
}

// The pages of each real index's tree.
struct TreePages : jet::IndexVisitor {
  std::set<uint32_t> pages;
  void onPage(const jet::IndexPage& p, int) override { pages.insert(p.number); }
};

// Zeroes pages of the user table with an intermediate index page, as a torn
// write leaves them; returns (table, names of the indexes whose trees lost a page).
std::pair<std::string, std::set<std::string>> tear(Patient& p, Tear how) {
  const auto db = jettest::open(p.path, connectOf(p.path));
  const jet::CatalogEntry* table = nullptr;
  uint32_t node = 0;
  for (uint32_t pg = 3; pg < p.s.pages() && !table; ++pg) {
    const std::vector<uint8_t> page = p.s.page(pg);
    for (const jet::CatalogEntry* t : db->catalog().tables(false))
      if (page[0] == 0x03 && t->tdefPage() == jet::le32(page.data() + 4)) table = t, node = pg;
  }
  if (!table) throw std::runtime_error(p.path + " has no intermediate index page");
  std::set<uint32_t> zeroed;
  for (uint32_t pg = 3; pg < p.s.pages(); ++pg) {
    const std::vector<uint8_t> page = p.s.page(pg);
    const bool leaf = page[0] == 0x04 && jet::le32(page.data() + 4) == table->tdefPage();
    if ((how == Tear::Node && pg == node) || (how != Tear::Node && leaf)) zeroed.insert(pg);
    if (how == Tear::OneLeaf && !zeroed.empty()) break;
  }
  const jet::TableDef& def = db->tableDef(table->tdefPage());
  std::set<std::string> hit;
  for (const jet::RealIndex& r : def.realIndexes) {
    TreePages tree;
    jet::walkIndex(db->pages(), r.rootPage, def.firstPage, tree);
    for (uint32_t pg : zeroed)
      if (tree.pages.count(pg))
        for (const jet::LogicalIndex& l : def.logicalIndexes)
          if (l.realIndex == r.number) {
            hit.insert(l.name);  // the tree goes by its first name
            break;
          }
  }
  for (uint32_t pg : zeroed) p.s.setPage(pg, std::vector<uint8_t>(p.s.pageSize, 0));
  p.save();
  return {table->name, hit};
}

}  // namespace

// Torn index pages in Jet 3 and Jet 4 files: the indexes are made again from
// the rows, named, and the copy reads as the undamaged file in every reader.
TEST(CompactRepair, TornIndexPagesAreRebuiltFromTheRows) {
  const struct {
    const char* file;
    Tear how;
  } cases[] = {
      {"jackcess-V1997-compIndexTestV1997.mdb", Tear::OneLeaf},
      {"jackcess-V1997-compIndexTestV1997.mdb", Tear::EveryLeafOfTheTable},
      {"jackcess-V1997-testIndexCodesV1997.mdb", Tear::Node},
      {"jackcess-V2003-compIndexTestV2003.mdb", Tear::OneLeaf},
      {"jackcess-V2003-compIndexTestV2003.mdb", Tear::Node},
      {"bloat-V2000.mdb", Tear::EveryLeafOfTheTable},
  };
  for (const auto& c : cases) {
    const std::string original = sharedFixture(c.file);
    if (original.empty()) GTEST_SKIP() << "../shared/fixtures is not here";
    SCOPED_TRACE(std::string(c.file) + " tear " + std::to_string(static_cast<int>(c.how)));
    Patient p(original);
    const auto [table, hit] = tear(p, c.how);
    ASSERT_FALSE(hit.empty());
    const jet::CompactResult r = jet::compactDatabase(p.path, p.out, connectOf(p.path));
    std::set<std::string> rebuilt;
    for (const jet::IndexRebuilt& i : r.indexesRebuilt) {
      EXPECT_EQ(i.table, table) << i.index << ": " << i.reason;
      rebuilt.insert(i.index);
    }
    EXPECT_EQ(rebuilt, hit);
    const jet::CheckReport check = jet::check(p.out, connectOf(p.path), jet::CheckOptions{true});
    for (const jet::Finding& f : check.findings) ADD_FAILURE() << f.table << ": " << f.message;
    REQUIRE_JUDGES();
    expectSameInJudges(original, p.out, passwordOf(original));
  }
}

// A torn index flagged unique over rows that repeat a key: nothing says
// whether the flag or a row is wrong. Compaction refuses, naming it;
// salvage keeps every row and lets the copy's index take repeated keys.
TEST(CompactRepair, ATornUniqueIndexOverRepeatedKeysKeepsEveryRow) {
  Patient p;
  std::string table;
  const jet::RealIndex* hit = nullptr;
  const auto db = jettest::open(p.path, kConnect);
  for (const jet::CatalogEntry* t : db->catalog().tables(false)) {
    const jet::TableDef& def = db->tableDef(t->tdefPage());
    for (const jet::RealIndex& r : def.realIndexes) {
      if ((r.flags & jet::index_flag::kUnique) || hit) continue;
      jet::RowKeys keys(*db, def, r);
      std::set<std::vector<uint8_t>> seen;
      jet::TableScan scan(*db, def);
      for (jet::RawRow row; scan.next(row) && !hit;) {
        std::vector<uint8_t> key;
        if (keys.append(row.bytes, key) == jet::RowKeys::Outcome::Key && !seen.insert(key).second)
          hit = &r, table = t->name;
      }
    }
  }
  ASSERT_NE(hit, nullptr) << "the demo has no index over repeated keys";
  const jet::Format& f = db->format();
  const uint32_t tdef = db->catalog().findTable(table)->tdefPage();
  std::vector<uint8_t> page = p.s.page(tdef);
  page[hit->definitionOffset + f.realIdxFlags] |= jet::index_flag::kUnique;
  jet::putLe32(&page[hit->definitionOffset + f.realIdxRoot], p.s.pages() + 5);  // torn away
  p.s.setPage(tdef, page);
  p.save();
  const std::string error = p.compactError();
  EXPECT_NE(error.find("unique, but its rows hold one key twice"), std::string::npos) << error;

  jet::CompactOptions salvage;
  salvage.salvage = true;
  const jet::CompactResult r = jet::compactDatabase(p.path, p.out, kConnect, salvage);
  EXPECT_EQ(r.rowsLost, 0u);
  ASSERT_EQ(r.indexesRebuilt.size(), 1u);
  EXPECT_NE(r.indexesRebuilt[0].reason.find("no longer asks for unique keys"), std::string::npos);
  const jet::CheckReport check = jet::check(p.out, kConnect, jet::CheckOptions{true});
  for (const jet::Finding& finding : check.findings)
    ADD_FAILURE() << finding.table << ": " << finding.message;
}

// A text index under a sort order without key tables here is checked as
// before and copied while healthy; torn, it is refused with its sort order.
TEST(CompactRepair, ATornIndexUnderAnUnknownSortOrderIsRefusedNamingIt) {
  Patient p;
  const auto customers = p.table("Customers");
  const jet::TableDef& def = *customers.def;
  const jet::RealIndex* text = nullptr;
  for (const jet::RealIndex& r : def.realIndexes)
    if (def.columnByNumber(r.columns.at(0).column)->type == jet::column_type::kText && !text)
      text = &r;
  ASSERT_NE(text, nullptr);
  const size_t lcid = def.columnByNumber(text->columns[0].column)->descriptorOffset + 11;
  ASSERT_LT(lcid + 2, p.s.pageSize) << "the descriptor should be on the first page";
  p.patch(def.firstPage, lcid, {0x19, 0x04});
  p.save();
  const jet::CheckReport deep = jet::check(p.path, kConnect, jet::CheckOptions{true});
  EXPECT_TRUE(deep.clean());
  size_t named = 0;
  for (const jet::Finding& f : deep.findings)
    named += f.message.find("sort order 0x0419 (Russian) version 0 is not supported") !=
             std::string::npos;
  EXPECT_EQ(named, 1u);
  EXPECT_TRUE(jet::compactDatabase(p.path, p.out, kConnect).indexesRebuilt.empty());

  TreePages tree;
  jet::walkIndex(customers.db->pages(), text->rootPage, def.firstPage, tree);
  uint32_t leaf = 0;
  for (uint32_t pg : tree.pages)
    if (p.s.page(pg)[0] == 0x04 && !leaf) leaf = pg;
  p.s.setPage(leaf, std::vector<uint8_t>(p.s.pageSize, 0));
  p.save();
  std::filesystem::remove(p.out);
  const std::string error = p.compactError();
  EXPECT_EQ(error.rfind("3049 ", 0), 0u) << error;
  EXPECT_NE(error.find("sort order 0x0419 (Russian) version 0 is not supported"), std::string::npos)
      << error;
}

namespace {

enum class Harm { ZeroDataPage, SmashOffset, ZeroLongValuePage, TearInlineLength, ShortenLength };

struct Harmed {
  std::string table;
  uint32_t page = 0;  // the damaged page
  uint64_t rows = 0;  // rows that cannot be read after it
};

// Damages the user table with the most rows: a data page in the middle of
// it, or the last live row of that page (no other row's end hangs on its
// start); or the long-value page of the first memo/OLE value held outside
// its row.
// The first memo/OLE value of a user table held in its row (inline), or
// outside it: where its field sits, its size, and its header's first two words.
struct LongValueAt {
  std::string table;
  uint32_t page = 0;  // of the row's bytes
  size_t at = 0, field = 0;
  uint32_t length = 0, first = 0;
};
std::optional<LongValueAt> firstLongValue(const jet::Database& db, bool inlineValue) {
  for (const jet::CatalogEntry* t : db.catalog().tables(false)) {
    const jet::TableDef& d = db.tableDef(t->tdefPage());
    jet::TableScan scan(db, d);
    for (jet::RawRow row; scan.next(row);)
      for (const jet::Column& c : d.columns) {
        const jet::Field f = jet::RowFields(d, db.jet4(), row.bytes).field(c);
        if (!c.longValue() || f.null || f.bytes.size() < 12 ||
            (f.bytes.size() > 12) != inlineValue || ((f.bytes.u8(3) & 0x80) != 0) != inlineValue)
          continue;
        return LongValueAt{t->name,
                           row.stored.page,
                           static_cast<size_t>(f.bytes.data() - row.page.bytes().data()),
                           f.bytes.size(),
                           f.bytes.u32(0),
                           f.bytes.u32(4)};
      }
  }
  return std::nullopt;
}

Harmed harm(Patient& p, Harm how) {
  const auto db = jettest::open(p.path, connectOf(p.path));
  const jet::CatalogEntry* table = nullptr;
  std::vector<uint32_t> rows;
  for (const jet::CatalogEntry* t : db->catalog().tables(false)) {
    std::vector<uint32_t> live = jet::liveRows(*db, db->tableDef(t->tdefPage()));
    if (live.size() > rows.size()) table = t, rows = std::move(live);
  }
  if (!table) throw std::runtime_error(p.path + " has no user rows");
  Harmed h{table->name};
  if (how == Harm::TearInlineLength) {
    // It claims 100 bytes more than its field: the bytes there are still the value.
    if (const auto v = firstLongValue(*db, true)) {
      h = {v->table, v->page, 0};
      p.patch32(v->page, v->at, static_cast<uint32_t>(v->field - 12 + 100) | 0x80000000u);
    }
    p.save();
    return h;
  }
  if (how == Harm::ZeroLongValuePage || how == Harm::ShortenLength) {
    if (const auto v = firstLongValue(*db, false)) {
      h = {v->table, jet::RowPtr::fromRaw(v->first).page, 0};
      if (how == Harm::ShortenLength)  // one byte short of its pieces
        p.patch32(v->page, v->at, v->length - 1);
    }
    if (!h.page) throw std::runtime_error(p.path + ": no memo/OLE value outside its row");
  } else {
    h.page = jet::RowPtr::fromRaw(rows[rows.size() / 2]).page;
    uint8_t last = 0;
    for (uint32_t raw : rows)
      if (jet::RowPtr::fromRaw(raw).page == h.page)
        ++h.rows, last = std::max(last, jet::RowPtr::fromRaw(raw).row);
    if (how == Harm::SmashOffset) {
      h.rows = 1;
      p.patch(h.page, (db->jet4() ? 14 : 10) + 2 * last, {0x04, 0x00});  // into the header
    }
  }
  if (how == Harm::ZeroDataPage || how == Harm::ZeroLongValuePage)
    p.s.setPage(h.page, std::vector<uint8_t>(p.s.pageSize, 0));
  p.save();
  return h;
}

size_t linesWith(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Every table of output holds rows of source only, `lost` fewer of `table`.
void expectSourceRowsMinus(const TableDump& source, const TableDump& output,
                           const std::string& table, uint64_t lost) {
  EXPECT_EQ(output.size(), source.size());
  for (const auto& [name, rows] : output) {
    const std::vector<std::string>& from = source.at(name);
    for (const std::string& row : rows)
      EXPECT_TRUE(std::binary_search(from.begin(), from.end(), row)) << name << ": " << row;
    EXPECT_EQ(from.size() - rows.size(), name == table ? lost : 0) << name;
  }
}

}  // namespace

// Salvage keeps every row that can be read, byte for byte as the judges read
// them, and names exactly the rows it could not; without it the same damage
// is refused. A database without damage comes out the same either way.
TEST(CompactRepair, SalvageLeavesOutExactlyTheRowsThatCannotBeRead) {
  const std::string files[] = {fixture("jackcess-V1997-testV1997.mdb"),
                               fixture("pw-V1997-testV1997.mdb"), demoDatabase(),
                               fixture("jackcess-V2000-delColTestV2000.mdb")};
  jet::CompactOptions salvage;
  salvage.salvage = true;
  for (const std::string& file : files)
    for (const Harm how : {Harm::ZeroDataPage, Harm::SmashOffset, Harm::ZeroLongValuePage,
                           Harm::TearInlineLength, Harm::ShortenLength}) {
      SCOPED_TRACE(file + " harm " + std::to_string(static_cast<int>(how)));
      if ((how == Harm::ZeroLongValuePage || how == Harm::ShortenLength) && file != demoDatabase())
        continue;  // the others hold every memo value in its row
      Patient p(file);
      const Harmed h = harm(p, how);
      if (!h.page) continue;  // no memo value held in a row
      const std::string error = p.compactError();
      EXPECT_EQ(error.rfind("3049 ", 0), 0u) << error;
      const std::string named =
          "Table '" + h.table + "'" + (h.rows ? " (page " + std::to_string(h.page) + ")" : "");
      EXPECT_NE(error.find(named), std::string::npos) << error;

      const jet::CompactResult r = jet::compactDatabase(p.path, p.out, connectOf(p.path), salvage);
      EXPECT_EQ(r.rowsLost, h.rows);
      EXPECT_FALSE(r.uncounted);
      const std::vector<uint8_t> bytes = readFile(p.out + ".lost.txt");
      const std::string report(bytes.begin(), bytes.end());
      uint64_t values = 0;
      for (const jet::RowsLost& l : r.lost) {
        EXPECT_EQ(l.table, h.table) << l.reason;
        if (h.rows) {
          EXPECT_EQ(l.page, h.page) << l.reason;
        }
        EXPECT_EQ(l.named.size(), l.rows + l.values) << l.reason;
        values += l.values;
      }
      EXPECT_EQ(values > 0, how >= Harm::ZeroLongValuePage);  // emptied, or kept as they hold
      EXPECT_EQ(linesWith(report, "\n" + h.table + "\t"), h.rows + values) << report;
      const jet::CheckReport check = jet::check(p.out, connectOf(p.path), jet::CheckOptions{true});
      for (const jet::Finding& f : check.findings) ADD_FAILURE() << f.table << ": " << f.message;
      if (how == Harm::ZeroLongValuePage) continue;  // its emptied values differ
      REQUIRE_JUDGES();
      const IdMap ids = movedTableIds(file, p.out);
      expectSourceRowsMinus(mdbExportDump(file, ids), mdbExportDump(p.out), h.table, h.rows);
      // mdb-reader prints a table as one line: the others alike, the harmed one shorter.
      TableDump reader = mdbReaderDump(file, passwordOf(file), ids),
                out = mdbReaderDump(p.out, passwordOf(file));
      ASSERT_TRUE(reader.count(h.table) && out.count(h.table));
      EXPECT_EQ(parseJson(reader[h.table][0])["rows"].items.size() -
                    parseJson(out[h.table][0])["rows"].items.size(),
                h.rows);
      reader.erase(h.table);
      out.erase(h.table);
      EXPECT_EQ(reader, out);
    }
  TempDir dir;
  const jet::CompactResult r =
      jet::compactDatabase(files[0], dir.file("salvaged.mdb"), "", salvage);
  jet::compactDatabase(files[0], dir.file("plain.mdb"), "");
  EXPECT_EQ(r.rowsLost, 0u);
  EXPECT_EQ(readFile(dir.file("salvaged.mdb")), readFile(dir.file("plain.mdb")));
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"plain.mdb", "salvaged.mdb"}));
}

// An index made again from its rows sorts them; past its memory budget the
// sort spills runs to a file and merges them, and the copy is the same.
TEST(CompactRepair, IndexesMadeFromRowsAreTheSameWhenTheirSortSpills) {
  Patient p;
  tear(p, Tear::EveryLeafOfTheTable);
  const jet::CompactResult inMemory = jet::compactDatabase(p.path, p.out, kConnect);
  ASSERT_FALSE(inMemory.indexesRebuilt.empty());
  jet::CompactOptions small;
  small.sortMemory = 2048;  // a few dozen entries a run
  const std::string spilled = p.dir.file("spilled.mdb");
  jet::compactDatabase(p.path, spilled, kConnect, small);
  EXPECT_EQ(readFile(spilled), readFile(p.out));
}
