// Salvage past damaged structures that hold no rows themselves: a table's
// definition, the header. Every row on an undamaged page comes back; with an
// older copy of the database as template (its definitions on other pages, as
// in a real backup) the tables whose definitions were lost come back whole.
// Rows are judged by mdbtools.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "jet/Engine.h"
#include "jet/db/CatalogDefinition.h"
#include "jet/db/Database.h"
#include "jet/db/TableScan.h"
#include "jet/format/IndexKey.h"
#include "jet/format/Row.h"
#include "jet/support/jet_testing.h"
#include "jet/support/judges.h"
#include "jet/util/Rc4.h"

using namespace jettest;

namespace {

struct Harm {
  const char* name;
  // Damages the copy; returns the user table whose rows are at stake ("" for none).
  std::function<std::string(Surgery&, const jet::Database&)> apply;
  // Without a template: salvaged, with a structure made afresh, or with a
  // header made afresh unless the pages are encoded (their key was in it).
  enum { Salvaged, MadeAfresh, HeaderMadeAfresh } withoutTemplate;
  bool takesFromTemplate;   // a structure, not just names
  bool keepsNames = false;  // every table by its name, without a template too
};

// The user table with the most rows.
const jet::CatalogEntry& victimOf(const jet::Database& db) {
  const jet::CatalogEntry* best = nullptr;
  uint32_t most = 0;
  for (const jet::CatalogEntry* t : db.catalog().tables(false)) {
    const uint32_t n = db.tableDef(t->tdefPage()).numRows;
    if (!best || n > most) best = t, most = n;
  }
  return *best;
}

std::vector<uint8_t> idBytes(uint32_t id) {
  std::vector<uint8_t> b(4);
  jet::putLe32(b.data(), id);
  return b;
}

// A catalog row's field: where it sits in its page, and its bytes.
std::pair<size_t, std::vector<uint8_t>> catalogField(const jet::Database& db,
                                                     const jet::CatalogEntry& e,
                                                     const char* column) {
  const jet::TableDef& cat = db.tableDef(2);
  const jet::RowSlot row = jet::readRow(db.pages(), {e.headerPage, e.headerRow});
  const jet::Field f = jet::RowFields(cat, db.jet4(), row.bytes).field(*cat.findColumn(column));
  return {static_cast<size_t>(f.bytes.data() - row.page.bytes().data()),
          std::vector<uint8_t>(f.bytes.begin(), f.bytes.end())};
}

// Overwrites a field of a catalog row with bytes of its own size.
void setField(Surgery& s, const jet::Database& db, const jet::CatalogEntry& e, const char* column,
              const std::vector<uint8_t>& bytes) {
  const auto [at, old] = catalogField(db, e, column);
  if (old.size() != bytes.size()) return;
  std::vector<uint8_t> page = s.page(e.headerPage);
  std::copy(bytes.begin(), bytes.end(), page.begin() + static_cast<ptrdiff_t>(at));
  s.setPage(e.headerPage, page);
}

const Harm kHarms[] = {
    {"a user table's definition zeroed",
     [](Surgery& s, const jet::Database& db) {
       const jet::CatalogEntry& v = victimOf(db);
       s.setPage(v.tdefPage(), std::vector<uint8_t>(s.pageSize, 0));
       return v.name;
     },
     Harm::Salvaged, true},
    {"the catalog's data pages zeroed",
     [](Surgery& s, const jet::Database& db) {
       const std::vector<uint32_t> pages = jet::TableScan(db, db.tableDef(2)).pages();
       for (const uint32_t pg : pages) s.setPage(pg, std::vector<uint8_t>(s.pageSize, 0));
       return std::string();
     },
     Harm::Salvaged, false},
    {"a user table's catalog row torn",
     [](Surgery& s, const jet::Database& db) {
       const jet::CatalogEntry& v = victimOf(db);
       std::vector<uint8_t> page = s.page(v.headerPage);
       const size_t dir = jet::Format::of(db.version()).rowCountOffset + 2;
       const uint32_t end =
           v.headerRow == 0 ? s.pageSize : jet::le16(&page[dir + 2 * (v.headerRow - 1)]) & 0x1FFF;
       std::fill(page.begin() + end - 6, page.begin() + end, 0xFF);  // its trailer
       s.setPage(v.headerPage, page);
       return std::string();
     },
     Harm::Salvaged, false},
    {"a user table's catalog row naming a page of no table",
     [](Surgery& s, const jet::Database& db) {
       setField(s, db, victimOf(db), "Id", idBytes(1));  // the free-page map's
       return std::string();
     },
     Harm::Salvaged, false, true},
    // The catalog's index on Id still holds the Id: the table keeps its name.
    {"a user table's catalog row naming another table",
     [](Surgery& s, const jet::Database& db) {
       const jet::CatalogEntry& v = victimOf(db);
       for (const jet::CatalogEntry* t : db.catalog().tables(false))
         if (t != &v) {
           setField(s, db, v, "Id", idBytes(t->tdefPage()));
           break;
         }
       return std::string();
     },
     Harm::Salvaged, false, true},
    {"a user table's catalog row naming the catalog",
     [](Surgery& s, const jet::Database& db) {
       setField(s, db, victimOf(db), "Id", idBytes(2));
       return std::string();
     },
     Harm::Salvaged, false, true},
    {"a user table's catalog row with its Id and Type null",
     [](Surgery& s, const jet::Database& db) {
       const jet::CatalogEntry& v = victimOf(db);
       const jet::TableDef& cat = db.tableDef(2);
       const jet::RowSlot row = jet::readRow(db.pages(), {v.headerPage, v.headerRow});
       const jet::RowFields fields(cat, db.jet4(), row.bytes);
       std::vector<uint8_t> page = s.page(v.headerPage);
       uint8_t* start = &page[static_cast<size_t>(row.bytes.data() - row.page.bytes().data())];
       for (const char* column : {"Id", "Type"}) fields.setNull(start, *cat.findColumn(column));
       s.setPage(v.headerPage, page);
       return std::string();
     },
     Harm::Salvaged, false, true},
    // The index on names shows whose name is wrong; that table's name is lost.
    {"a user table's catalog row given another table's name",
     [](Surgery& s, const jet::Database& db) {
       const jet::CatalogEntry& v = victimOf(db);
       for (const jet::CatalogEntry* t : db.catalog().tables(false))
         if (t != &v && t->name.size() == v.name.size()) {
           setField(s, db, v, "Name", catalogField(db, *t, "Name").second);
           return std::string();
         }
       return std::string();
     },
     Harm::Salvaged, false},
    {"the catalog's data pages zeroed, the file cut inside a page after its last",
     [](Surgery& s, const jet::Database& db) {
       const std::vector<uint32_t> pages = jet::TableScan(db, db.tableDef(2)).pages();
       for (const uint32_t pg : pages) s.setPage(pg, std::vector<uint8_t>(s.pageSize, 0));
       s.bytes.resize(s.bytes.size() + s.pageSize / 2, 0x5A);
       return std::string();
     },
     Harm::Salvaged, false},
    {"the catalog's definition zeroed",
     [](Surgery& s, const jet::Database&) {
       s.setPage(2, std::vector<uint8_t>(s.pageSize, 0));
       return std::string();
     },
     Harm::MadeAfresh, true},
    {"the catalog's usage map pointer past the file's end",
     [](Surgery& s, const jet::Database& db) {
       std::vector<uint8_t> page = s.page(2);
       jet::putLe32(&page[jet::Format::of(db.version()).tdefOwnedMap], s.pages() << 8);
       s.setPage(2, page);
       return std::string();
     },
     Harm::Salvaged, false},
    {"the catalog's index on ParentId and Name naming a column it lacks",
     [](Surgery& s, const jet::Database& db) {
       std::vector<uint8_t> page = s.page(2);
       const jet::Format& f = jet::Format::of(db.version());
       jet::putLe16(&page[db.tableDef(2).realIndexes[0].definitionOffset + f.realIdxColumns],
                    0xFF0B);
       s.setPage(2, page);
       return std::string();
     },
     Harm::MadeAfresh, true},
    {"the catalog's Name column renamed in its definition",
     [](Surgery& s, const jet::Database& db) {
       std::vector<uint8_t> page = s.page(2);
       // Its name as the definition stores it, after its length.
       const std::string name = db.jet4() ? std::string("\x08\0N\0a\0m\0e\0", 10) : "\x04Name";
       const auto at = std::search(page.begin(), page.end(), name.begin(), name.end());
       if (at == page.end()) return std::string();  // then nothing is made afresh: fails below
       at[db.jet4() ? 4 : 2] = 'o';                 // "Nome"
       s.setPage(2, page);
       return std::string();
     },
     Harm::MadeAfresh, true},
    {"the header zeroed",
     [](Surgery& s, const jet::Database&) {
       std::fill(s.bytes.begin(), s.bytes.begin() + s.pageSize, 0);
       return std::string();
     },
     Harm::HeaderMadeAfresh, true},
    {"the header and the catalog's definition zeroed",
     [](Surgery& s, const jet::Database&) {
       std::fill(s.bytes.begin(), s.bytes.begin() + s.pageSize, 0);
       s.setPage(2, std::vector<uint8_t>(s.pageSize, 0));
       return std::string();
     },
     Harm::HeaderMadeAfresh, true},
    {"the header scrambled",
     [](Surgery& s, const jet::Database&) {
       for (uint32_t i = 0; i < s.pageSize; ++i) s.bytes[i] ^= static_cast<uint8_t>(0x5A + i);
       return std::string();
     },
     Harm::HeaderMadeAfresh, true},
};

// Rows per user table, as mdbtools reads them (the header line left out).
std::map<std::string, std::vector<std::string>> userTables(const std::string& path) {
  std::map<std::string, std::vector<std::string>> out;
  for (auto& [table, rows] : mdbExportDump(path))
    if (table.rfind("MSys", 0) != 0 && !rows.empty())
      out[table].assign(rows.begin(), rows.end() - 1);
  return out;
}

// delTestV2000 with every page but the header RC4-encoded under a key.
std::string encodedCopy(const TempDir& dir) {
  Surgery s(fixture("jackcess-V2000-delTestV2000.mdb"));
  std::vector<std::vector<uint8_t>> pages;
  for (uint32_t pg = 1; pg < s.pages(); ++pg) pages.push_back(s.page(pg));
  jet::Rc4::apply(0x6b39dac7u, s.bytes.data() + 0x18, 0x80 - 0x18);
  jet::putLe32(s.bytes.data() + 0x3E, 0x1234ABCD);
  jet::Rc4::apply(0x6b39dac7u, s.bytes.data() + 0x18, 0x80 - 0x18);
  s.dbKey = 0x1234ABCD;
  for (uint32_t pg = 1; pg < s.pages(); ++pg) s.setPage(pg, pages[pg - 1]);
  const std::string path = dir.file("encoded.mdb");
  s.save(path);
  return path;
}

}  // namespace

TEST(SalvageStructures, EveryRowOnAnUndamagedPageComesBack) {
  REQUIRE_JUDGES();
  TempDir scratch;
  const std::string encoded = encodedCopy(scratch);
  std::vector<std::string> files = {
      fixture("jackcess-V1997-testV1997.mdb"), fixture("pw-V1997-testV1997.mdb"),
      fixture("jackcess-V2000-overflowTestV2000.mdb"), demoDatabase(), encoded};
  // The first two opened by Access 2007: the navigation pane lists the
  // tables by Id (in the second, of an empty table too). The last two hold
  // tables of one column layout, told apart by their indexes and rows, and
  // empty ones that nothing tells apart.
  for (const std::string& f : sharedFixtures())
    if (f.ends_with("jackcess-V2003-indexTestV2003.mdb") ||
        f.ends_with("jackcess-V2003-bigIndexTestV2003.mdb") ||
        f.ends_with("jackcess-V1997-testIndexCodesV1997.mdb") ||
        f.ends_with("jackcess-V2000-queryTestV2000.mdb"))
      files.push_back(f);
  for (const std::string& file : files) {
    const auto before = userTables(file);
    // Compacted, a backup's definitions sit elsewhere.
    const std::string templ = scratch.file("template.mdb");
    std::filesystem::remove(templ);
    jet::compactDatabase(file, templ, connectOf(file));
    const auto db = jettest::open(file, connectOf(file));
    const bool navPane = db->catalog().findTable("MSysNavPaneObjectIDs") != nullptr;
    for (const Harm& h : kHarms) {
      for (const bool withTemplate : {false, true}) {
        SCOPED_TRACE(file + ": " + h.name + (withTemplate ? ", with template" : ""));
        TempDir dir;
        Surgery s(file);
        const std::string victim = h.apply(s, *db);
        s.save(dir.file("db.mdb"));
        jet::CompactOptions salvage;
        salvage.salvage = true;
        if (withTemplate) salvage.templatePath = templ;
        const bool refused =
            !withTemplate && h.withoutTemplate == Harm::HeaderMadeAfresh && file == encoded;
        jet::CompactResult r;
        try {
          r = jet::compactDatabase(dir.file("db.mdb"), dir.file("out.mdb"), connectOf(file),
                                   salvage);
        } catch (const jet::Error& e) {
          EXPECT_TRUE(refused) << e.what();
          EXPECT_EQ(dir.entries(), std::vector<std::string>{"db.mdb"});
          continue;
        }
        EXPECT_FALSE(refused);
        const auto after = userTables(dir.file("out.mdb"));
        uint64_t missing = 0;
        for (const auto& [table, rows] : before) {
          auto it = after.find(table);
          EXPECT_TRUE(!navPane || table == victim || it != after.end()) << table << " is not named";
          EXPECT_TRUE(!h.keepsNames || it != after.end()) << table << " lost its name";
          // The backup names every table, an empty one too.
          EXPECT_TRUE(!withTemplate || it != after.end()) << table << " is not named";
          if (it == after.end())  // its name lost with the catalog: known by its rows
            it = std::find_if(after.begin(), after.end(), [&](const auto& t) {
              return t.first.rfind("Recovered_", 0) == 0 && t.second == rows;
            });
          if (withTemplate || table != victim) {
            // An empty table too: where the catalog lost rows, its definition comes back.
            EXPECT_NE(it, after.end()) << table << " is gone";
            EXPECT_EQ(it == after.end() ? decltype(rows){} : it->second, rows) << table;
          } else {
            EXPECT_EQ(it, after.end()) << table;
            missing += rows.size();
          }
        }
        uint64_t userLost = 0;  // catalog rows lost are counted too
        for (const jet::RowsLost& l : r.lost)
          if (l.table.rfind("MSys", 0) != 0 && l.rows > 0)
            userLost += static_cast<uint64_t>(l.rows);
        EXPECT_EQ(userLost, missing);
        // An empty table's definition lost leaves nothing to count its rows by.
        const auto v = before.find(victim);
        EXPECT_TRUE(!r.uncounted || (v != before.end() && v->second.empty()));
        EXPECT_EQ(r.fromTemplate.empty(), !(withTemplate && h.takesFromTemplate));
        EXPECT_EQ(r.madeAfresh.empty(), withTemplate || h.withoutTemplate == Harm::Salvaged);
        EXPECT_TRUE(jet::check(dir.file("out.mdb"), connectOf(file)).clean());
        // Jet's and Access's own tables are known by their columns; Access
        // needs them under their names.
        const auto out = jettest::open(dir.file("out.mdb"), connectOf(file));
        for (const jet::CatalogEntry* t : db->catalog().tables(true))
          if (jet::systemName(t->name)) {
            EXPECT_TRUE(out->catalog().findTable(t->name)) << t->name << " is not named";
          }
      }
    }
  }
}

// The catalog's definition made afresh is the one every shared file holds,
// Access-written ones included, and reads the rows of its catalog; another
// table's definition does not.
TEST(SalvageStructures, CatalogDefinitionMadeAfreshIsEveryFilesOwn) {
  const auto sortOrder = [](const jet::Database& db, const jet::TableDef& def,
                            const jet::Column& c) {
    return jet::columnSortOrder(db.version(),
                                jet::ByteView(def.buffer).sub(c.descriptorOffset, 25));
  };
  for (const std::string& file : sharedFixtures()) {
    SCOPED_TRACE(file);
    const auto db = jettest::open(file, connectOf(file));
    const jet::TableDef& own = db->tableDef(2);
    const jet::TableDef made = jet::catalogDefinition(db->header());
    EXPECT_EQ(made.columns.size(), own.columns.size());
    for (const jet::Column& c : own.columns) {
      const jet::Column* m = made.findColumn(c.name);
      ASSERT_TRUE(m) << c.name;
      EXPECT_EQ(std::tie(m->type, m->number, m->varIndex, m->flags, m->length),
                std::tie(c.type, c.number, c.varIndex, c.flags, c.length))
          << c.name;
      EXPECT_EQ(c.fixed() ? m->fixedOffset : 0, c.fixed() ? c.fixedOffset : 0) << c.name;
      EXPECT_EQ(sortOrder(*db, made, *m), sortOrder(*db, own, c)) << c.name;
    }
    ASSERT_EQ(made.realIndexes.size(), own.realIndexes.size());
    for (size_t k = 0; k < own.realIndexes.size(); ++k) {
      const jet::RealIndex &m = made.realIndexes[k], &o = own.realIndexes[k];
      EXPECT_EQ(m.columns.size(), o.columns.size());
      for (size_t i = 0; i < std::min(m.columns.size(), o.columns.size()); ++i)
        EXPECT_EQ(m.columns[i].column, o.columns[i].column);
      EXPECT_EQ(m.flags, o.flags);
    }
    ASSERT_EQ(made.logicalIndexes.size(), own.logicalIndexes.size());
    for (size_t k = 0; k < own.logicalIndexes.size(); ++k) {
      const jet::LogicalIndex &m = made.logicalIndexes[k], &o = own.logicalIndexes[k];
      EXPECT_EQ(std::tie(m.name, m.number, m.realIndex, m.type, m.relatedIndex),
                std::tie(o.name, o.number, o.realIndex, o.type, o.relatedIndex));
    }
    const std::vector<uint32_t> pages = jet::TableScan(*db, own).pages();
    EXPECT_TRUE(jet::catalogRowsFit(*db, made, pages));
    EXPECT_TRUE(jet::catalogRowsFit(*db, own, pages));  // else salvage would stand in for it
    for (const jet::CatalogEntry* t : db->catalog().tables(true))
      if (t->tdefPage() != 2) {
        EXPECT_FALSE(jet::catalogRowsFit(*db, db->tableDef(t->tdefPage()), pages)) << t->name;
        break;
      }
  }
}
