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
#include "jet/db/Database.h"
#include "jet/db/TableScan.h"
#include "jet/support/jet_testing.h"
#include "jet/support/judges.h"
#include "jet/util/Rc4.h"

using namespace jettest;

namespace {

struct Harm {
  const char* name;
  // Damages the copy; returns the user table whose rows are at stake ("" for none).
  std::function<std::string(Surgery&, const jet::Database&)> apply;
  // Without a template: refused, or a header made afresh unless the pages are
  // encoded (their key was in the lost header), or salvaged.
  enum { Salvaged, Refused, HeaderMadeAfresh } withoutTemplate;
  bool takesFromTemplate;  // a structure, not just names
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
    {"the catalog's definition zeroed",
     [](Surgery& s, const jet::Database&) {
       s.setPage(2, std::vector<uint8_t>(s.pageSize, 0));
       return std::string();
     },
     Harm::Refused, true},
    {"the header zeroed",
     [](Surgery& s, const jet::Database&) {
       std::fill(s.bytes.begin(), s.bytes.begin() + s.pageSize, 0);
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
  const std::string files[] = {
      fixture("jackcess-V1997-testV1997.mdb"), fixture("pw-V1997-testV1997.mdb"),
      fixture("jackcess-V2000-overflowTestV2000.mdb"), demoDatabase(), encoded};
  for (const std::string& file : files) {
    const auto before = userTables(file);
    // Compacted, a backup's definitions sit elsewhere.
    const std::string templ = scratch.file("template.mdb");
    std::filesystem::remove(templ);
    jet::compactDatabase(file, templ, connectOf(file));
    const auto db = jettest::open(file, connectOf(file));
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
            !withTemplate && (h.withoutTemplate == Harm::Refused ||
                              (h.withoutTemplate == Harm::HeaderMadeAfresh && file == encoded));
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
          if (it == after.end())  // its name lost with the catalog: known by its rows
            it = std::find_if(after.begin(), after.end(), [&](const auto& t) {
              return t.first.rfind("Recovered_", 0) == 0 && t.second == rows;
            });
          if (withTemplate || table != victim) {
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
        EXPECT_FALSE(r.uncounted);
        EXPECT_EQ(r.fromTemplate.empty(), !(withTemplate && h.takesFromTemplate));
        EXPECT_EQ(r.madeAfresh.empty(),
                  withTemplate || h.withoutTemplate != Harm::HeaderMadeAfresh);
        EXPECT_TRUE(jet::check(dir.file("out.mdb"), connectOf(file)).clean());
      }
    }
  }
}
