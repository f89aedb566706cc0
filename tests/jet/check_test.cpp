// The integrity check: every real file checks clean, the false alarms once
// raised on healthy files stay gone, and each kind of damage made here on
// purpose gives its own finding, in the right table, while dump fails or
// reads on exactly as it should. The sanitizer build runs all of this too.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>

#include "jet/Engine.h"
#include "jet/db/PageCensus.h"
#include "jet/db/TableScan.h"
#include "jet/format/IndexPage.h"
#include "jet/format/LongValue.h"
#include "jet/format/Row.h"
#include "jet/format/UsageMap.h"
#include "jet/support/jet_testing.h"

namespace {

using jettest::fixture;

std::string findingsOf(const jet::CheckReport& r) {
  std::string s;
  for (const jet::Finding& f : r.findings) s += f.table + ": " + f.message + "\n";
  return s;
}

// Deep: every index Access or another library wrote is made again from its
// rows byte for byte, in more than one table of each file.
TEST(Check, EveryRealFileIsCleanAndItsIndexesAreItsRowsKeys) {
  std::vector<std::string> files = jettest::sharedFixtures();
  // The last holds Access's own f_<GUID>_Data table, flagged as a system object.
  for (const char* f :
       {"jackcess-V1997-testV1997.mdb", "jackcess-V2000-overflowTestV2000.mdb",
        "jackcess-generalKeys-V2000.mdb", "jackcess-V2003-testUnicodeCompV2003.mdb"})
    files.push_back(fixture(f));
  files.push_back(jettest::demoDatabase());
  for (const std::string& f : files) {
    const jet::CheckReport r = jet::check(f, jettest::connectOf(f), jet::CheckOptions{true});
    EXPECT_TRUE(r.clean()) << f << "\n" << findingsOf(r);
    EXPECT_GT(r.tablesCompared, 1u) << f;
    for (const jet::Finding& finding : r.findings)
      EXPECT_EQ(finding.message.find("not compared"), std::string::npos)
          << f << ": " << finding.message;
  }
  if (jettest::sharedFixtures().empty()) GTEST_SKIP() << "../shared/fixtures is not here";
}

// A healthy Jet 4 file written by Access holds a commit slot that has passed
// 0x1FF; nothing is known of those bytes, so nothing is said of them.
TEST(Check, CommitSlotsAreNeverReadAsDamage) {
  jettest::TempDir tmp;
  jettest::Surgery s(fixture("jackcess-V2000-delTestV2000.mdb"));
  std::vector<uint8_t> p0 = s.page(0);
  const uint8_t slots[] = {0x10, 0x01, 0x4B, 0x02, 0x00, 0x01, 0x00, 0x01};
  std::copy(std::begin(slots), std::end(slots), p0.begin() + 0xE00);
  s.setPage(0, p0);
  s.save(tmp.file("a.mdb"));
  const jet::CheckReport r = jet::check(tmp.file("a.mdb"), "");
  EXPECT_TRUE(r.findings.empty()) << findingsOf(r);
}

// The global map of another healthy Jet 4 file is a reference map holding a
// pointer that is no page of the file (0xFFFFFF80): passed over, as the
// other readers do.
TEST(Check, ReferenceGlobalMapWithAPointerPastTheFile) {
  jettest::TempDir tmp;
  const std::string path = fixture("jackcess-V2000-delTestV2000.mdb");
  const auto db = jettest::open(path);
  const jet::RowSlot inlineMap = jet::readSlot(db->pages(), jet::RowPtr{1, 0});
  ASSERT_EQ(inlineMap.bytes.u8(0), 0);
  jettest::Surgery s(path);
  // One bitmap page, appended, marks what the inline map marked free.
  const uint32_t bitmapPage = s.pages();
  std::vector<uint8_t> bitmap(s.pageSize, 0);
  bitmap[0] = jet::page_type::kUsageBitmap;
  bitmap[1] = 0x01;
  const uint32_t start = inlineMap.bytes.u32(1);
  for (size_t i = 5; i < inlineMap.bytes.size(); ++i)
    for (int b = 0; b < 8; ++b)
      if ((inlineMap.bytes.u8(i) >> b) & 1) {
        const uint32_t pg = start + static_cast<uint32_t>((i - 5) * 8 + b);
        if (pg < bitmapPage) bitmap[4 + pg / 8] |= static_cast<uint8_t>(1 << (pg % 8));
      }
  s.setPage(bitmapPage, bitmap);
  std::vector<uint8_t> page1 = s.page(1);
  const size_t row = static_cast<size_t>(inlineMap.bytes.data() - inlineMap.page.bytes().data());
  std::fill(page1.begin() + row, page1.begin() + row + inlineMap.bytes.size(), 0);
  page1[row] = 1;
  jet::putLe32(page1.data() + row + 1, bitmapPage);
  jet::putLe32(page1.data() + row + 5, 0xFFFFFF80);
  s.setPage(1, page1);
  s.save(tmp.file("ref.mdb"));
  const jet::CheckReport r = jet::check(tmp.file("ref.mdb"), "");
  EXPECT_TRUE(r.clean()) << findingsOf(r);
  EXPECT_NE(findingsOf(r).find("past the end of the file"), std::string::npos) << findingsOf(r);
  EXPECT_EQ(jet::describe(tmp.file("ref.mdb"), "").freePages, jet::describe(path, "").freePages);
}

// Where things are in a fixture, found through the reader.
struct Places {
  explicit Places(const std::string& path) : db(jettest::open(path)) {}
  const jet::TableDef& def(const std::string& table) const {
    return db->tableDef(db->catalog().findTable(table)->tdefPage());
  }
  jet::RowPtr firstRowWhere(const std::string& table,
                            const std::function<bool(const jet::RawRow&)>& pick) const {
    jet::TableScan scan(*db, def(table));
    jet::RawRow row;
    while (scan.next(row))
      if (pick(row)) return row.header;
    throw std::runtime_error("no such row in " + table);
  }
  // The first memo/OLE value of the table stored as a chain: the page and
  // offset of its field, and its first piece.
  std::tuple<uint32_t, size_t, jet::RowPtr> firstChain(const std::string& table) const {
    const jet::TableDef& d = def(table);
    jet::TableScan scan(*db, d);
    jet::RawRow row;
    while (scan.next(row)) {
      const jet::RowFields fields(d, db->jet4(), row.bytes);
      for (const jet::Column& c : d.columns) {
        const jet::Field f = fields.field(c);
        if (!c.longValue() || f.null || f.bytes.size() < 12) continue;
        const jet::LongValueHeader h = jet::parseLongValueHeader(f.bytes);
        if (h.kind == jet::LongValueKind::Chain)
          return {row.stored.page, static_cast<size_t>(f.bytes.data() - row.page.bytes().data()),
                  h.first};
      }
    }
    throw std::runtime_error("no chained memo/OLE value in " + table);
  }
  std::unique_ptr<jet::Database> db;
};

struct Damage {
  const char* what;
  const char* file;  // a fixture, or "" for the demo database
  const char* table;
  const char* finding;  // part of the error the check must report
  int dumpError;        // what dumping every table gives then
  std::function<void(const Places&, jettest::Surgery&)> damage;
};

void poke32(jettest::Surgery& s, uint32_t pg, size_t at, uint32_t v) {
  std::vector<uint8_t> p = s.page(pg);
  jet::putLe32(p.data() + at, v);
  s.setPage(pg, p);
}
void poke16(jettest::Surgery& s, uint32_t pg, size_t at, uint16_t v) {
  std::vector<uint8_t> p = s.page(pg);
  jet::putLe16(p.data() + at, v);
  s.setPage(pg, p);
}
size_t offsetIn(const jet::RowSlot& slot) {
  return static_cast<size_t>(slot.bytes.data() - slot.page.bytes().data());
}

// The first leaf entry's key given to the second, of equal length, in the
// table's first unique index over that many columns.
void firstKeyTwice(const Places& at, jettest::Surgery& s, const std::string& table,
                   size_t columns) {
  for (const jet::RealIndex& ri : at.def(table).realIndexes) {
    if (!(ri.flags & jet::index_flag::kUnique) || ri.columns.size() != columns) continue;
    jet::IndexPage page;
    page.read(at.db->pages(), ri.rootPage);
    while (!page.leaf()) page.read(at.db->pages(), page[0].child);
    ASSERT_EQ(page[0].key.size(), page[1].key.size());
    // Entry 1 follows entry 0 (stored whole) without the shared prefix.
    std::vector<uint8_t> p = s.page(page.number);
    const size_t entry1 = at.db->format().idxFirstEntry + page[0].key.size() + 4;
    for (size_t i = page.prefixLength; i < page[0].key.size(); ++i)
      p[entry1 + i - page.prefixLength] = page[0].key.u8(i);
    s.setPage(page.number, p);
    return;
  }
  FAIL() << "no unique index over " << columns << " columns in " << table;
}

const Damage kDamage[] = {
    {"a table definition chained onto itself", "", "Customers", "loops back to page", 3049,
     [](const Places& at, jettest::Surgery& s) {
       const uint32_t tdef = at.def("Customers").firstPage;
       poke32(s, tdef, 4, tdef);
     }},
    {"a memo chain pointing past the end", "", "Customers", "past the end of the file", 3049,
     [](const Places& at, jettest::Surgery& s) {
       const auto [pg, field, first] = at.firstChain("Customers");
       poke32(s, pg, field + 4, jet::RowPtr{s.pages() + 40, 0}.raw());
     }},
    {"a memo chain looping back", "", "Customers", "chain loops back", 3049,
     [](const Places& at, jettest::Surgery& s) {
       const auto [pg, field, first] = at.firstChain("Customers");
       const jet::RowSlot piece = jet::readSlot(at.db->pages(), first);
       poke32(s, first.page, offsetIn(piece), first.raw());
     }},
    {"an overflow pointer to itself", "jackcess-V2000-overflowTestV2000.mdb", "Table1",
     "cannot be followed", 3049,
     [](const Places& at, jettest::Surgery& s) {
       const jet::RowPtr r = at.firstRowWhere(
           "Table1", [](const jet::RawRow& row) { return !(row.header == row.stored); });
       poke32(s, r.page, offsetIn(jet::readSlot(at.db->pages(), r)), r.raw());
     }},
    {"more row slots than fit the page", "jackcess-V2000-delColTestV2000.mdb", "Table1",
     "does not fit the page", 3049,
     [](const Places& at, jettest::Surgery& s) {
       const jet::RowPtr r = at.firstRowWhere("Table1", [](const jet::RawRow&) { return true; });
       poke16(s, r.page, at.db->format().rowCountOffset, 0x7FFF);
     }},
    {"a row starting past its page", "jackcess-V2000-delColTestV2000.mdb", "Table1",
     "outside the page's row area", 3049,
     [](const Places& at, jettest::Surgery& s) {
       const jet::RowPtr r = at.firstRowWhere("Table1", [](const jet::RawRow&) { return true; });
       poke16(s, r.page, at.db->format().rowCountOffset + 2, 0x1FFF);
     }},
    {"a wrong free-space count alone", "jackcess-V2000-delColTestV2000.mdb", "Table1",
     "free-space count (17)", 0,
     [](const Places& at, jettest::Surgery& s) {
       const jet::RowPtr r = at.firstRowWhere("Table1", [](const jet::RawRow&) { return true; });
       poke16(s, r.page, 2, 17);
     }},
    {"a page in use marked free", "jackcess-V2000-delColTestV2000.mdb", "",
     "in use are marked free", 0,
     [](const Places& at, jettest::Surgery& s) {
       const jet::RowSlot map = jet::readSlot(at.db->pages(), jet::RowPtr{1, 0});
       const uint32_t tdef = at.def("Table1").firstPage - map.bytes.u32(1);
       std::vector<uint8_t> p = s.page(1);
       p[offsetIn(map) + 5 + tdef / 8] |= static_cast<uint8_t>(1u << (tdef % 8));
       s.setPage(1, p);
     }},
    {"the catalog's definition overwritten", "jackcess-V1997-testV1997.mdb", "MSysObjects",
     "catalog cannot be read", 3049,
     [](const Places&, jettest::Surgery& s) {
       std::vector<uint8_t> p = s.page(2);
       p[0] = 0x01;
       s.setPage(2, p);
     }},
    {"a column number past the table's columns", "jackcess-V2000-delTestV2000.mdb", "MSysObjects",
     "past the table's", 3049,
     [](const Places& at, jettest::Surgery& s) {
       const jet::Column* flags = at.def("MSysObjects").findColumn("Flags");
       poke16(s, 2, flags->descriptorOffset + at.db->format().colNumber, flags->number | 0x80);
     }},
    {"two columns with one number", "jackcess-V2000-delTestV2000.mdb", "MSysObjects",
     "which another column has too", 3049,
     [](const Places& at, jettest::Surgery& s) {
       const jet::TableDef& d = at.def("MSysObjects");
       poke16(s, 2, d.findColumn("Flags")->descriptorOffset + at.db->format().colNumber,
              d.findColumn("Type")->number);
     }},
    {"a leaf linked to itself", "jackcess-V1997-compIndexTestV1997.mdb", "Table1",
     "not linked in the order of the tree", 0,
     [](const Places& at, jettest::Surgery& s) {
       jet::IndexPage root;
       root.read(at.db->pages(), at.def("Table1").realIndexes[0].rootPage);
       const uint32_t leaf = root.leaf() ? root.number : root[0].child;
       poke32(s, leaf, at.db->format().idxNext, leaf);
     }},
    {"one key twice in a unique index", "", "Customers", "same key twice", 0,
     [](const Places& at, jettest::Surgery& s) { firstKeyTwice(at, s, "Customers", 1); }},
    {"one key twice in a unique index of two columns", "jackcess-generalKeys-V2000.mdb", "Pairs",
     "same key twice", 0,
     [](const Places& at, jettest::Surgery& s) { firstKeyTwice(at, s, "Pairs", 2); }},
};

TEST(Check, EachDamageGivesItsFinding) {
  jettest::TempDir tmp;
  for (const Damage& d : kDamage) {
    SCOPED_TRACE(d.what);
    const std::string source = d.file[0] ? fixture(d.file) : jettest::demoDatabase();
    jettest::Surgery s(source);
    d.damage(Places(source), s);
    const std::string path = tmp.file("damaged.mdb");
    s.save(path);
    const jet::CheckReport r = jet::check(path, jettest::connectOf(source));
    bool found = false;
    for (const jet::Finding& f : r.findings)
      found |= f.severity == jet::Severity::Error && f.table == d.table &&
               f.message.find(d.finding) != std::string::npos;
    EXPECT_TRUE(found) << findingsOf(r);
    EXPECT_EQ(jettest::errorOf([&] {
                jet::dump(path, jettest::connectOf(source), {std::nullopt, true},
                          [](const std::string&) {});
              }),
              d.dumpError);
  }
}

// What each finding tells the user to do, and whether compaction agrees: a
// finding that sends them to compaction names damage it mends, one that
// sends them to salvage damage plain compaction refuses and salvage gets
// past. Each kind of damage on a Jet 3 and a Jet 4 file.
enum class Advice { None, Compact, Salvage, FixRows, Restore };

const char* adviceText(Advice a) {
  switch (a) {
    case Advice::Compact:
      return "Compact the database.";
    case Advice::Salvage:
      return "jetdb compact --salvage";
    case Advice::FixRows:
      return "Delete one of the two rows";
    case Advice::Restore:
      return "Restore the database from a backup.";
    case Advice::None:
      break;
  }
  return "";
}

struct Verdict {
  const char* what;
  const char* file;  // a fixture, or "" for the demo database
  const char* table;
  const char* words;  // found in the finding
  jet::Severity severity;
  Advice advice;
  std::function<void(const Places&, jettest::Surgery&)> damage;
};

void zeroPage(jettest::Surgery& s, uint32_t pg) {
  s.setPage(pg, std::vector<uint8_t>(s.pageSize, 0));
}
std::vector<uint32_t> listedPages(const Places& at, const std::string& table) {
  return jet::readUsageMap(at.db->pages(), at.def(table).ownedMap).pages;
}
// The first listed page of the table that holds a live row.
uint32_t firstDataPage(const Places& at, const std::string& table) {
  for (uint32_t pg : listedPages(at, table))
    if (jet::liveSlots(*at.db, pg) > 0) return pg;
  throw std::runtime_error("no rows in " + table);
}
void addToCount(const Places& at, jettest::Surgery& s, const std::string& table, int delta) {
  const jet::TableDef& d = at.def(table);
  poke32(s, d.firstPage, d.numRowsOffset, static_cast<uint32_t>(d.numRows + delta));
}
const jet::CatalogEntry& entryOf(const Places& at, const std::string& table) {
  return *at.db->catalog().findTable(table);
}
void deleteCatalogRow(const Places& at, jettest::Surgery& s, const std::string& table) {
  const jet::CatalogEntry& e = entryOf(at, table);
  const size_t slot = at.db->format().rowCountOffset + 2 + 2 * size_t{e.headerRow};
  std::vector<uint8_t> p = s.page(e.headerPage);
  p[slot + 1] |= 0x80;
  s.setPage(e.headerPage, p);
}
// Where a field of the table's catalog row is, and its width.
std::pair<size_t, size_t> catalogField(const Places& at, const std::string& table,
                                       const std::string& column) {
  const jet::CatalogEntry& e = entryOf(at, table);
  const jet::RowSlot row = jet::readRow(at.db->pages(), jet::RowPtr{e.headerPage, e.headerRow});
  const jet::TableDef& cat = at.def("MSysObjects");
  const jet::Field f = jet::RowFields(cat, at.db->jet4(), row.bytes).field(*cat.findColumn(column));
  return {static_cast<size_t>(f.bytes.data() - row.page.bytes().data()), f.bytes.size()};
}
void flagAsSystem(const Places& at, jettest::Surgery& s, const std::string& table) {
  const auto [offset, width] = catalogField(at, table, "Flags");
  ASSERT_EQ(width, 4u);
  poke32(s, entryOf(at, table).headerPage, offset, 0x80000000u);
}
void giveIdOf(const Places& at, jettest::Surgery& s, const std::string& table,
              const std::string& other) {
  const auto [offset, width] = catalogField(at, table, "Id");
  ASSERT_EQ(width, 4u);
  poke32(s, entryOf(at, table).headerPage, offset, static_cast<uint32_t>(entryOf(at, other).id));
}
void makeQuery(const Places& at, jettest::Surgery& s, const std::string& table) {
  const auto [offset, width] = catalogField(at, table, "Type");
  ASSERT_EQ(width, 2u);
  poke16(s, entryOf(at, table).headerPage, offset, jet::object_type::kQuery);
}
// A Long column made Yes/No: the definition no longer describes the rows.
void longToYesNo(const Places& at, jettest::Surgery& s, const std::string& table) {
  const jet::TableDef& d = at.def(table);
  for (const jet::Column& c : d.columns)
    if (c.type == jet::column_type::kLong && c.fixed()) {
      std::vector<uint8_t> p = s.page(d.firstPage);
      p[c.descriptorOffset] = jet::column_type::kBoolean;
      s.setPage(d.firstPage, p);
      return;
    }
  FAIL() << "no Long column in " << table;
}
// The fixed column that ends last moved on by its own width, into the
// variable-length data that follows.
void pushLastFixedColumn(const Places& at, jettest::Surgery& s, const std::string& table) {
  const jet::TableDef& d = at.def(table);
  const jet::Column* last = nullptr;
  for (const jet::Column& c : d.columns)
    if (c.fixed() && c.type != jet::column_type::kBoolean &&
        (!last || c.fixedOffset > last->fixedOffset))
      last = &c;
  ASSERT_NE(last, nullptr);
  poke16(s, d.firstPage, last->descriptorOffset + at.db->format().colFixedOffset,
         static_cast<uint16_t>(last->fixedOffset + last->length));
}
// The primary key of the table's first row given to the next row whose key
// is as wide.
void twoRowsOneKey(const Places& at, jettest::Surgery& s, const std::string& table) {
  const jet::TableDef& d = at.def(table);
  const jet::RealIndex& pk = d.realIndexes.at(d.primaryKeyIndex());
  const jet::Column& col = *d.columnByNumber(pk.columns.at(0).column);
  jet::TableScan scan(*at.db, d);
  jet::RawRow first, other;
  ASSERT_TRUE(scan.next(first));
  const jet::ByteView key = jet::RowFields(d, at.db->jet4(), first.bytes).field(col).bytes;
  while (scan.next(other)) {
    const jet::ByteView to = jet::RowFields(d, at.db->jet4(), other.bytes).field(col).bytes;
    if (to.size() != key.size()) continue;
    std::vector<uint8_t> p = s.page(other.stored.page);
    std::copy(key.begin(), key.end(), p.begin() + (to.data() - other.page.bytes().data()));
    s.setPage(other.stored.page, p);
    return;
  }
  FAIL() << "no two keys of one width in " << table;
}
// In the row whose text column holds `text` (stored as UCS-2, or compressed
// to one byte a character), the character `from` becomes `to`.
void retext(const Places& at, jettest::Surgery& s, const std::string& table,
            const std::string& column, const std::u16string& text, char16_t from, char16_t to) {
  const jet::TableDef& d = at.def(table);
  const jet::Column& col = *d.findColumn(column);
  std::vector<uint8_t> wide, narrow = {0xFF, 0xFE};
  for (char16_t u : text) {
    wide.insert(wide.end(), {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8)});
    narrow.push_back(static_cast<uint8_t>(u));
  }
  jet::ByteView f;
  const jet::RowPtr r = at.firstRowWhere(table, [&](const jet::RawRow& row) {
    f = jet::RowFields(d, at.db->jet4(), row.bytes).field(col).bytes;
    return f == jet::ByteView(wide) || f == jet::ByteView(narrow);
  });
  const jet::RowSlot row = jet::readRow(at.db->pages(), r);
  f = jet::RowFields(d, at.db->jet4(), row.bytes).field(col).bytes;
  const bool isWide = f.size() == wide.size() && !(f == jet::ByteView(narrow));
  std::vector<uint8_t> p = s.page(row.page.number());
  const size_t start = static_cast<size_t>(f.data() - row.page.bytes().data());
  for (size_t i = isWide ? 0 : 2; i < f.size(); i += isWide ? 2 : 1)
    if ((isWide ? f.u16(i) : f.u8(i)) == from) {
      p[start + i] = static_cast<uint8_t>(to);
      if (isWide) p[start + i + 1] = static_cast<uint8_t>(to >> 8);
    }
  s.setPage(row.page.number(), p);
}

// Drops pg from the table's inline usage map.
void unlist(const Places& at, jettest::Surgery& s, const std::string& table, uint32_t pg) {
  const jet::RowSlot map = jet::readSlot(at.db->pages(), at.def(table).ownedMap);
  ASSERT_EQ(map.bytes.u8(0), 0) << "an inline map";
  const uint32_t bit = pg - map.bytes.u32(1);
  std::vector<uint8_t> p = s.page(map.page.number());
  p[offsetIn(map) + 5 + bit / 8] &= static_cast<uint8_t>(~(1u << (bit % 8)));
  s.setPage(map.page.number(), p);
}

constexpr const char* kJ3 = "jackcess-V1997-testV1997.mdb";
constexpr const char* kJ3Last = "jackcess-V1997-delTestV1997.mdb";  // ends in a data page
constexpr const char* kJ4 = "jackcess-V2000-delTestV2000.mdb";      // "Table": no index
constexpr const char* kKeys = "jackcess-generalKeys-V2000.mdb";
using jet::Severity;

const Verdict kVerdicts[] = {
    {"catalog data pages zeroed", kJ3, "MSysObjects", "rows are missing", Severity::Error,
     Advice::Salvage,
     [](const Places& at, jettest::Surgery& s) {
       for (uint32_t pg : listedPages(at, "MSysObjects")) zeroPage(s, pg);
     }},
    {"catalog data pages zeroed", kJ4, "MSysObjects", "is not a data page", Severity::Error,
     Advice::Salvage,
     [](const Places& at, jettest::Surgery& s) {
       for (uint32_t pg : listedPages(at, "MSysObjects")) zeroPage(s, pg);
     }},
    {"the catalog's definition zeroed", kJ4, "MSysObjects", "catalog cannot be read",
     Severity::Error, Advice::Restore, [](const Places&, jettest::Surgery& s) { zeroPage(s, 2); }},
    {"a user table's definition zeroed", kJ3, "Table1", "definition cannot be read",
     Severity::Error, Advice::Restore,
     [](const Places& at, jettest::Surgery& s) { zeroPage(s, at.def("Table1").firstPage); }},
    {"a user table's definition zeroed", "", "Customers", "definition cannot be read",
     Severity::Error, Advice::Restore,
     [](const Places& at, jettest::Surgery& s) { zeroPage(s, at.def("Customers").firstPage); }},
    {"a data page zeroed, no index", kJ4, "Table", "rows are missing", Severity::Error,
     Advice::Salvage,
     [](const Places& at, jettest::Surgery& s) { zeroPage(s, firstDataPage(at, "Table")); }},
    {"a data page zeroed, indexed", kJ3, "Table1", "points to a row that does not exist",
     Severity::Error, Advice::Salvage,
     [](const Places& at, jettest::Surgery& s) { zeroPage(s, firstDataPage(at, "Table1")); }},
    {"a data page zeroed", "", "Customers", "rows are missing", Severity::Error, Advice::Salvage,
     [](const Places& at, jettest::Surgery& s) { zeroPage(s, firstDataPage(at, "Customers")); }},
    {"a file cut inside a data page", kJ3Last, "", "ends inside page", Severity::Error,
     Advice::Salvage,
     [](const Places&, jettest::Surgery& s) { s.bytes.resize(s.bytes.size() - s.pageSize / 2); }},
    {"a file cut inside a memo page", kJ4, "", "ends inside page", Severity::Error, Advice::Salvage,
     [](const Places&, jettest::Surgery& s) { s.bytes.resize(s.bytes.size() - 1); }},
    {"a file cut inside an index page", "jackcess-V1997-compIndexTestV1997.mdb", "",
     "ends inside page", Severity::Error, Advice::Compact,
     [](const Places&, jettest::Surgery& s) { s.bytes.resize(s.bytes.size() - 10); }},
    {"a file cut inside a page nothing uses", "", "", "ends inside page", Severity::Error,
     Advice::Compact,
     [](const Places&, jettest::Surgery& s) { s.bytes.resize(s.bytes.size() - 10); }},
    {"a catalog row marked deleted", kJ3, "Table1", "marked deleted", Severity::Error,
     Advice::Salvage,
     [](const Places& at, jettest::Surgery& s) { deleteCatalogRow(at, s, "Table1"); }},
    {"a catalog row marked deleted", "", "Customers", "marked deleted", Severity::Error,
     Advice::Salvage,
     [](const Places& at, jettest::Surgery& s) { deleteCatalogRow(at, s, "Customers"); }},
    {"a catalog row's Type made a query's", kJ3, "Table1", "has Type 5", Severity::Error,
     Advice::Salvage, [](const Places& at, jettest::Surgery& s) { makeQuery(at, s, "Table1"); }},
    {"a catalog row's Type made one no object has", kJ3, "MSysObjects", "which no object has",
     Severity::Error, Advice::Salvage,
     [](const Places& at, jettest::Surgery& s) {
       const auto [offset, width] = catalogField(at, "Table1", "Type");
       poke16(s, entryOf(at, "Table1").headerPage, offset, 14594);
     }},
    // Salvage leaves such a row out where it names no table.
    {"a container's catalog row given a Type no object has", kJ3, "MSysObjects",
     "which no object has", Severity::Error, Advice::Salvage,
     [](const Places& at, jettest::Surgery& s) {
       for (const jet::CatalogEntry& e : at.db->catalog().entries)
         if (e.name == "Scripts") {
           const jet::TableDef& cat = at.def("MSysObjects");
           const jet::RowSlot row = jet::readRow(at.db->pages(), {e.headerPage, e.headerRow});
           const jet::Field f =
               jet::RowFields(cat, at.db->jet4(), row.bytes).field(*cat.findColumn("Type"));
           poke16(s, e.headerPage, static_cast<size_t>(f.bytes.data() - row.page.bytes().data()),
                  161);
         }
     }},
    {"two catalog rows with one Id", kJ3, "Table3", "name the same table definition page",
     Severity::Error, Advice::Restore,
     [](const Places& at, jettest::Surgery& s) { giveIdOf(at, s, "Table3", "Table2"); }},
    {"a user table flagged as a system object", "", "Customers", "flags it as a system object",
     Severity::Error, Advice::Salvage,
     [](const Places& at, jettest::Surgery& s) { flagAsSystem(at, s, "Customers"); }},
    {"a stored count raised, no index", kJ4, "Table", "rows are missing", Severity::Error,
     Advice::Salvage, [](const Places& at, jettest::Surgery& s) { addToCount(at, s, "Table", 5); }},
    {"a stored count raised, an index vouches", kJ3, "Table1", "only the count is wrong",
     Severity::Warning, Advice::Compact,
     [](const Places& at, jettest::Surgery& s) { addToCount(at, s, "Table1", 5); }},
    {"a stored count raised, an index vouches", "", "Customers", "only the count is wrong",
     Severity::Warning, Advice::Compact,
     [](const Places& at, jettest::Surgery& s) { addToCount(at, s, "Customers", 1); }},
    {"a stored count lowered", kJ4, "Table", "compaction corrects the count", Severity::Info,
     Advice::None, [](const Places& at, jettest::Surgery& s) { addToCount(at, s, "Table", -1); }},
    {"a data page its map does not list", kJ4, "Table", "page list does not name it",
     Severity::Error, Advice::Salvage,
     [](const Places& at, jettest::Surgery& s) {
       unlist(at, s, "Table", firstDataPage(at, "Table"));
     }},
    {"a Long column made Yes/No", "jackcess-V2000-delColTestV2000.mdb", "Table1",
     "does not describe its rows", Severity::Error, Advice::Restore,
     [](const Places& at, jettest::Surgery& s) { longToYesNo(at, s, "Table1"); }},
    {"a fixed column moved into variable data", "jackcess-V2000-delColTestV2000.mdb", "Table1",
     "runs into the row's variable-length data", Severity::Error, Advice::Restore,
     [](const Places& at, jettest::Surgery& s) { pushLastFixedColumn(at, s, "Table1"); }},
    {"a fixed column moved into variable data", kJ3, "Table1",
     "runs into the row's variable-length data", Severity::Error, Advice::Restore,
     [](const Places& at, jettest::Surgery& s) { pushLastFixedColumn(at, s, "Table1"); }},
    {"two rows given one primary key", "", "Customers", "its rows hold the same key twice",
     Severity::Error, Advice::FixRows,
     [](const Places& at, jettest::Surgery& s) { twoRowsOneKey(at, s, "Customers"); }},
    {"a Long column made Yes/No", "", "Customers", "does not describe its rows", Severity::Error,
     Advice::Restore,
     [](const Places& at, jettest::Surgery& s) { longToYesNo(at, s, "Customers"); }},
    // The stored keys no longer those of the rows: a text holding a NUL (whose
    // code is in doubt) is not verified, and its index is kept; text of
    // certain codes is wrong.
    {"a row's text with a NUL changed", kKeys, "Words", "key not verified", Severity::Info,
     Advice::None,
     [](const Places& at, jettest::Surgery& s) {
       retext(at, s, "Words", "Legacy", std::u16string(u"a\0\u00E9", 3), u'\u00E9', u'\u00E8');
     }},
    {"a row's text changed", kKeys, "Words", "does not match its rows", Severity::Error,
     Advice::Compact,
     [](const Places& at,
        jettest::Surgery&
            s) { retext(at, s, "Words", "Legacy", u"\u00DF\u00E9", u'\u00E9', u'\u00E8'); }},
};

// Plain compaction mends what check sends to it and refuses what it sends
// to salvage, which then loses only rows the damage took.
void expectCompactionAgrees(const Verdict& v, const std::string& path, const std::string& connect,
                            const jettest::TempDir& tmp) {
  const auto compact = [&](bool salvage) {
    jet::CompactOptions o;
    o.salvage = salvage;
    for (const char* f : {"out.mdb", "out.mdb.lost.txt"}) std::filesystem::remove(tmp.file(f));
    return jettest::errorOf([&] { jet::compactDatabase(path, tmp.file("out.mdb"), connect, o); });
  };
  if (v.advice == Advice::Compact || v.advice == Advice::None) {
    EXPECT_EQ(compact(false), 0);
  }
  if (v.advice == Advice::None) {  // nothing to mend: every index kept as it was
    std::filesystem::remove(tmp.file("kept.mdb"));
    EXPECT_TRUE(jet::compactDatabase(path, tmp.file("kept.mdb"), connect).indexesRebuilt.empty());
  }
  if (v.advice != Advice::Salvage) return;
  EXPECT_EQ(compact(false), 3049);
  EXPECT_EQ(compact(true), 0);
}

TEST(Check, EachDamageGetsAdviceThatWorks) {
  jettest::TempDir tmp;
  for (const Verdict& v : kVerdicts) {
    SCOPED_TRACE(std::string(v.what) + " in " + (v.file[0] ? v.file : "the demo database"));
    const std::string source = v.file[0] ? fixture(v.file) : jettest::demoDatabase();
    jettest::Surgery s(source);
    v.damage(Places(source), s);
    const std::string path = tmp.file("damaged.mdb");
    s.save(path);
    const std::string connect = jettest::connectOf(source);
    const jet::CheckReport r = jet::check(path, connect, jet::CheckOptions{true});
    bool found = false;
    for (const jet::Finding& f : r.findings)
      found |= f.severity == v.severity && f.table == v.table &&
               f.message.find(v.words) != std::string::npos &&
               f.message.find(adviceText(v.advice)) != std::string::npos;
    EXPECT_TRUE(found) << findingsOf(r);
    EXPECT_EQ(r.clean(), v.severity == Severity::Info) << findingsOf(r);
    expectCompactionAgrees(v, path, connect, tmp);
  }
}

// Salvage of a file cut inside its last page leaves out only what that page
// held.
TEST(Check, SalvageOfATornFileLosesOnlyTheTornPage) {
  jettest::TempDir tmp;
  for (const char* f : {kJ3Last, kJ4}) {
    SCOPED_TRACE(f);
    jettest::Surgery s(fixture(f));
    const uint32_t torn = s.pages() - 1;
    s.bytes.resize(s.bytes.size() - s.pageSize / 2);
    s.save(tmp.file("torn.mdb"));
    for (const char* out : {"out.mdb", "out.mdb.lost.txt"}) std::filesystem::remove(tmp.file(out));
    jet::CompactOptions o;
    o.salvage = true;
    const jet::CompactResult r =
        jet::compactDatabase(tmp.file("torn.mdb"), tmp.file("out.mdb"), "", o);
    ASSERT_FALSE(r.lost.empty());
    for (const jet::RowsLost& l : r.lost)
      EXPECT_NE(l.reason.find("page " + std::to_string(torn) + " is cut short"), std::string::npos)
          << l.reason;
  }
}

// The worst advice among the findings.
Advice adviceOf(const jet::CheckReport& r) {
  Advice worst = Advice::None;
  for (const jet::Finding& f : r.findings)
    for (Advice a : {Advice::Compact, Advice::Salvage, Advice::FixRows, Advice::Restore})
      if (f.message.find(adviceText(a)) != std::string::npos && a > worst) worst = a;
  return worst;
}

// Random pages zeroed, bytes changed, the file cut: whatever the check
// advises works. A
// database it calls clean or sends to compaction compacts; one it sends to
// salvage is refused by compaction and salvaged.
TEST(Check, AdviceUnderRandomDamageWorks) {
  jettest::TempDir tmp;
  for (const char* f : {kJ3, "jackcess-V2000-overflowTestV2000.mdb"}) {
    const std::vector<uint8_t> good = jettest::readFile(fixture(f));
    const uint32_t ps = good[0x14] == 0 ? 2048 : 4096;
    std::mt19937 rng(11);
    for (int round = 0; round < 40; ++round) {
      SCOPED_TRACE(std::string(f) + " round " + std::to_string(round));
      std::vector<uint8_t> bytes = good;
      for (int k = 1 + static_cast<int>(rng() % 3); k > 0; --k) {
        const size_t page = size_t{ps} * (1 + rng() % (good.size() / ps - 1));
        if (rng() % 3 == 0)
          std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(page), ps, 0);
        else
          bytes[page + rng() % ps] = static_cast<uint8_t>(rng());
      }
      if (rng() % 4 == 0) bytes.resize(bytes.size() - 1 - rng() % (ps - 1));
      jettest::writeFile(tmp.file("r.mdb"), bytes);
      jet::CheckReport r;
      if (jettest::errorOf([&] { r = jet::check(tmp.file("r.mdb"), "", jet::CheckOptions{true}); }))
        continue;
      const Verdict v{"", "", "", "", Severity::Info, adviceOf(r), {}};
      expectCompactionAgrees(v, tmp.file("r.mdb"), "", tmp);
    }
  }
}

// Random damage anywhere but the header: whatever happens is an Error or a
// finding, never a crash, a hang or a read out of bounds.
TEST(Check, RandomBytesNeverCrash) {
  jettest::TempDir tmp;
  for (const char* f :
       {"jackcess-V1997-compIndexTestV1997.mdb", "jackcess-V2000-overflowTestV2000.mdb"}) {
    const std::vector<uint8_t> good = jettest::readFile(fixture(f));
    const uint32_t ps = good[0x14] == 0 ? 2048 : 4096;
    std::mt19937 rng(7);
    for (int round = 0; round < 100; ++round) {
      std::vector<uint8_t> bytes = good;
      for (int k = 1 + static_cast<int>(rng() % 8); k > 0; --k)
        bytes[ps + rng() % (bytes.size() - ps)] = static_cast<uint8_t>(rng());
      jettest::writeFile(tmp.file("r.mdb"), bytes);
      jettest::errorOf([&] { jet::check(tmp.file("r.mdb"), ""); });
      jettest::errorOf([&] {
        jet::dump(tmp.file("r.mdb"), "", {std::nullopt, true}, [](const std::string&) {});
      });
    }
  }
}

}  // namespace
