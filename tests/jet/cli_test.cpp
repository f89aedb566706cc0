// jetdb's contract: help on every command, exit codes 0/1/2/3, errors as
// "jetdb: error NNNN: description" on stderr, JSON that parses.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <map>

#include "jet/db/TableScan.h"
#include "jet/support/jet_testing.h"

namespace {

using jettest::fixture;
using jettest::run;

std::string jetdb() { return jettest::jetdbPath(); }
const std::string kFixture = "pw-V1997-testV1997.mdb";
const std::string kFixturePassword = "m0ssb4nk7q";

TEST(Cli, HelpOnTheCommandAndEverySubcommand) {
  const auto top = run({jetdb(), "--help"});
  EXPECT_EQ(top.exitCode, 0);
  for (const char* cmd : {"info", "check", "dump", "compact"}) {
    EXPECT_NE(top.out.find(std::string("  ") + cmd), std::string::npos) << cmd;
    const auto r = run({jetdb(), cmd, "--help"});
    EXPECT_EQ(r.exitCode, 0) << cmd;
    EXPECT_EQ(r.out.rfind(std::string("usage: jetdb ") + cmd, 0), 0u) << r.out;
  }
  const auto version = run({jetdb(), "--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("jetdb ", 0), 0u);
}

TEST(Cli, UsageErrorsExitTwo) {
  const std::string db = fixture("jackcess-V1997-testV1997.mdb");
  for (const std::vector<std::string>& args : {std::vector<std::string>{jetdb()},
                                               {jetdb(), "frobnicate"},
                                               {jetdb(), "info"},
                                               {jetdb(), "info", db, "--bogus"},
                                               {jetdb(), "info", db, "extra"},
                                               {jetdb(), "info", db, "--password"},
                                               {jetdb(), "dump", db, "--json"},
                                               {jetdb(), "compact", db},
                                               {jetdb(), "compact", db, ""},
                                               {jetdb(), "dump", ""},
                                               {jetdb(), "check", db, "--json=yes"}}) {
    const auto r = run(args);
    EXPECT_EQ(r.exitCode, 2) << args.back();
    EXPECT_NE(r.err.find("jetdb"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  const auto r = run({jetdb(), "info", db, "--bogus"});
  EXPECT_NE(r.err.find("jetdb info --help"), std::string::npos) << r.err;
}

TEST(Cli, EngineErrorsExitThreeWithDaoNumber) {
  jettest::TempDir tmp;
  const std::string missing = tmp.file("gone.mdb");
  auto r = run({jetdb(), "info", missing});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.err, "jetdb: error 3024: Could not find file '" + missing + "'.\n");

  const std::string loop = tmp.file("loop.mdb");
  ASSERT_EQ(symlink("loop.mdb", loop.c_str()), 0);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{jetdb(), "info", loop}, {jetdb(), "compact", loop, "out.mdb"}}) {
    r = run(args);
    EXPECT_EQ(r.exitCode, 3) << args[1];
    EXPECT_EQ(r.err,
              "jetdb: error 3051: Cannot open '" + loop + "': it is a loop of symbolic links.\n");
  }

  r = run({jetdb(), "dump", fixture("jackcess-V1997-testV1997.mdb"), "--table", "NoSuchTable"});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.err.rfind("jetdb: error 3078: ", 0), 0u) << r.err;
}

// Every way of giving the password but a terminal opens the database; only
// --password warns, an option beats the environment, and nothing printed
// holds the password.
TEST(Cli, PasswordSources) {
  jettest::TempDir tmp;
  const std::string db = fixture(kFixture);
  const std::string& pw = kFixturePassword;
  const std::string file = tmp.file("pw");
  const std::string text = pw + "\r\nnot this line\n";
  jettest::writeFile(file, std::vector<uint8_t>(text.begin(), text.end()));
  const struct {
    const char* script;
    int exit;
    const char* err;  // how stderr begins; "" for empty
  } cases[] = {
      {R"("$J" check "$DB" --password-file "$F")", 0, ""},
      {R"(printf '%s\n' "$PW" | "$J" check "$DB" --password-file -)", 0, ""},
      {R"(JETDB_PASSWORD="$PW" "$J" check "$DB")", 0, ""},
      {R"(JETDB_PASSWORD=nope "$J" check "$DB" --password-file "$F")", 0, ""},
      {R"(JETDB_PASSWORD=nope "$J" check "$DB")", 3, "jetdb: error 3031: Not a valid password.\n"},
      {R"("$J" check "$DB" --password "$PW")", 0, "jetdb: warning: --password lets other users"},
      {R"("$J" check "$DB" -p "$PW" --password-file "$F")", 2,
       "jetdb: the password is given twice"},
      {R"("$J" check "$DB" --password-file "$F.gone")", 2, "jetdb: cannot read the password file"},
      {R"(setsid -w "$J" check "$DB" --ask-password)", 2, "jetdb: --ask-password needs a terminal"},
  };
  for (const auto& c : cases) {
    const auto r = run({"env", "-u", "JETDB_PASSWORD", "J=" + jetdb(), "DB=" + db, "PW=" + pw,
                        "F=" + file, "sh", "-c", c.script});
    EXPECT_EQ(r.exitCode, c.exit) << c.script << "\n" << r.err;
    EXPECT_EQ(*c.err ? r.err.substr(0, std::strlen(c.err)) : r.err, c.err) << c.script;
    EXPECT_EQ((r.out + r.err).find(pw), std::string::npos) << c.script;
  }
}

// A copy of the Jet 3 fixture whose password is `to`. The header's password
// field lies under a fixed key stream, so XORing it with the old and the new
// password (zero-padded to the field's 20 bytes) swaps one for the other.
std::string withPassword(const jettest::TempDir& tmp, const std::string& name,
                         const std::string& to) {
  const std::string& from = kFixturePassword;
  std::vector<uint8_t> bytes = jettest::readFile(fixture(kFixture));
  const auto at = [](const std::string& s, size_t i) { return i < s.size() ? s[i] : '\0'; };
  for (size_t i = 0; i < 20; ++i) bytes[0x42 + i] ^= uint8_t(at(from, i) ^ at(to, i));
  const std::string path = tmp.file(name);
  jettest::writeFile(path, bytes);
  return path;
}

// The password is a value, never a connect string to take apart.
TEST(Cli, PasswordIsTakenAsItIs) {
  jettest::TempDir tmp;
  const std::string secret = withPassword(tmp, "a.mdb", "secret"),
                    semicolon = withPassword(tmp, "b.mdb", "se;cret");
  const struct {
    std::string db;
    const char* password;
    int exit;
  } cases[] = {{secret, "secret", 0},
               {secret, ";pwd=secret", 3},
               {semicolon, "se;cret", 0},
               {semicolon, "se", 3},
               {semicolon, ";pwd=se;cret", 3}};
  for (const auto& c : cases) {
    const auto r = run({jetdb(), "check", c.db, "--password", c.password});
    EXPECT_EQ(r.exitCode, c.exit) << c.password << "\n" << r.err;
    if (c.exit) {
      EXPECT_NE(r.err.find("error 3031"), std::string::npos) << r.err;
    }
  }
}

TEST(Cli, InfoJsonDescribesTheDatabase) {
  const auto r = run({jetdb(), "info", jettest::demoDatabase(), "--password=m0ssb4nk7q", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const jettest::Json j = jettest::parseJson(r.out);
  EXPECT_EQ(j["version"].text, "Jet4");
  EXPECT_EQ(j["pageSize"].number, 4096);
  EXPECT_EQ(j["pageCount"].number, 1093);
  EXPECT_EQ(j["freePages"].number, 69) << "the global map's free pages, as the inventory counts";
  EXPECT_TRUE(j["password"].boolean);
  EXPECT_FALSE(j["encoded"].boolean);
  std::map<std::string, double> rows;
  for (const jettest::Json& t : j["tables"].items)
    if (!t["system"].boolean) rows[t["name"].text] = t["rows"].number;
  const std::map<std::string, double> expected{
      {"Customers", 667}, {"Orders", 1001}, {"EmptyTable", 0}};
  EXPECT_EQ(rows, expected);
}

TEST(Cli, CheckExitCodes) {
  auto r = run({jetdb(), "check", fixture("jackcess-V2000-delTestV2000.mdb")});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("no problems found"), std::string::npos);

  jettest::TempDir tmp;
  std::vector<uint8_t> bytes = jettest::readFile(fixture("jackcess-V2000-delTestV2000.mdb"));
  std::fill(bytes.begin() + 4096, bytes.begin() + 8192, 0xFF);  // the map of free pages
  const std::string damaged = tmp.file("damaged.mdb");
  jettest::writeFile(damaged, bytes);
  r = run({jetdb(), "check", damaged, "--json"});
  EXPECT_EQ(r.exitCode, 1);
  const jettest::Json j = jettest::parseJson(r.out);
  EXPECT_FALSE(j["clean"].boolean);
  ASSERT_FALSE(j["findings"].items.empty());
  EXPECT_EQ(j["findings"].items[0]["severity"].text, "error");
  EXPECT_EQ(j["findings"].items[0]["page"].number, 1);
}

TEST(Cli, DumpOneTableAndSystemTables) {
  const std::string db = fixture("jackcess-V1997-testV1997.mdb");
  const auto one = run({jetdb(), "dump", db, "--table", "table1"});
  ASSERT_EQ(one.exitCode, 0) << one.err;
  EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\n'), 2);
  const jettest::Json first = jettest::parseJson(one.out.substr(0, one.out.find('\n')));
  EXPECT_EQ(first["table"].text, "Table1");
  EXPECT_EQ(first["row"].keys.front(), "A");

  const auto user = run({jetdb(), "dump", db});
  const auto all = run({jetdb(), "dump", db, "--system"});
  EXPECT_EQ(user.out.find("\"MSysObjects\""), std::string::npos);
  EXPECT_NE(all.out.find("{\"table\":\"MSysObjects\""), std::string::npos);
}

// A page of a table's map that is no data page of it, in a copy of the demo
// database: the first such page of `table` (or of the catalog) damaged.
struct PageDamage {
  const char* what;
  const char* table;  // "" for the catalog
  std::function<void(std::vector<uint8_t>&)> damage;
};

const PageDamage kPageDamage[] = {
    {"a zeroed page", "Orders", [](std::vector<uint8_t>& p) { std::fill(p.begin(), p.end(), 0); }},
    {"its type byte changed", "Customers", [](std::vector<uint8_t>& p) { p[0] = 0x03; }},
    {"a zeroed catalog page", "",
     [](std::vector<uint8_t>& p) { std::fill(p.begin(), p.end(), 0); }},
};

size_t rowsOf(const std::string& dump, const std::string& table) {
  const std::string start = "{\"table\":\"" + table + "\"";
  size_t n = 0;
  for (size_t at = dump.find(start); at != std::string::npos; at = dump.find(start, at + 1)) ++n;
  return n;
}

TEST(Cli, PartialReadsExitThreeNamingTableAndPage) {
  jettest::TempDir tmp;
  const std::string source = jettest::demoDatabase();
  const std::string pw = std::string("--password=") + jettest::kDemoPassword;
  const auto whole = run({jetdb(), "dump", source, pw});
  ASSERT_EQ(whole.exitCode, 0) << whole.err;
  for (const PageDamage& d : kPageDamage) {
    SCOPED_TRACE(d.what);
    uint32_t pg = 0;
    {
      const auto db = jettest::open(source);
      const uint32_t tdef = d.table[0] ? db->catalog().findTable(d.table)->tdefPage() : 2;
      pg = jet::TableScan(*db, db->tableDef(tdef)).pages().at(0);
    }
    jettest::Surgery s(source);
    std::vector<uint8_t> page = s.page(pg);
    d.damage(page);
    s.setPage(pg, page);
    const std::string path = tmp.file("damaged.mdb");
    s.save(path);
    const std::string named = "page " + std::to_string(pg);

    const auto dump = run({jetdb(), "dump", path, pw});
    EXPECT_EQ(dump.exitCode, 3);
    EXPECT_NE(dump.err.find("jetdb: error 3049: "), std::string::npos) << dump.err;
    EXPECT_NE(dump.err.find(named), std::string::npos) << dump.err;
    const auto info = run({jetdb(), "info", path, pw});
    if (d.table[0]) {
      EXPECT_NE(dump.err.find(std::string("table '") + d.table + "'"), std::string::npos);
      for (const char* t : {"Customers", "Orders"})
        if (std::strcmp(t, d.table) == 0) {
          EXPECT_LT(rowsOf(dump.out, t), rowsOf(whole.out, t));
          EXPECT_GT(rowsOf(dump.out, t), 0u) << "the rows of its other pages";
        } else {
          EXPECT_EQ(rowsOf(dump.out, t), rowsOf(whole.out, t));
        }
      EXPECT_EQ(info.exitCode, 0) << info.err;
    } else {
      EXPECT_TRUE(dump.out.empty());
      EXPECT_EQ(info.exitCode, 3);
      EXPECT_NE(info.err.find("catalog"), std::string::npos) << info.err;
      EXPECT_NE(info.err.find(named), std::string::npos) << info.err;
    }
  }
}

// With an index leaf torn: the copy, a summary naming the rebuilt index,
// and a deep check of the copy that compares its entries.
TEST(Cli, CompactWritesTheCopyAndASummary) {
  jettest::TempDir tmp;
  std::vector<uint8_t> bytes = jettest::readFile(fixture("jackcess-V2000-delTestV2000.mdb"));
  size_t leaf = 3 * 4096;
  while (leaf < bytes.size() && !(bytes[leaf] == 0x04 && jet::le32(bytes.data() + leaf + 4) > 2))
    leaf += 4096;
  ASSERT_LT(leaf, bytes.size());
  std::fill(bytes.begin() + leaf, bytes.begin() + leaf + 4096, 0);
  const std::string src = tmp.file("torn.mdb"), dst = tmp.file("out.mdb");
  jettest::writeFile(src, bytes);
  const auto r = run({jetdb(), "compact", src, dst, "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const jettest::Json j = jettest::parseJson(r.out);
  EXPECT_EQ(j["sourceBytes"].number, 135168);
  EXPECT_GT(j["outputBytes"].number, 0);
  EXPECT_TRUE(j.has("pagesDropped"));
  EXPECT_TRUE(j.has("seconds"));
  ASSERT_EQ(j["indexesRebuilt"].items.size(), 1u) << r.out;
  const jettest::Json& rebuilt = j["indexesRebuilt"].items[0];
  EXPECT_EQ(rebuilt["reason"].text,
            "page " + std::to_string(leaf / 4096) + " is not an index page");
  EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no bar when stderr is not a terminal";
  const auto deep = run({jetdb(), "check", dst, "--deep", "--json"});
  EXPECT_EQ(deep.exitCode, 0) << deep.out;
  EXPECT_GT(jettest::parseJson(deep.out)["indexEntriesChecked"].number, 0);
  const auto plain = run({jetdb(), "compact", src, tmp.file("plain.mdb")});
  EXPECT_NE(plain.out.find("rebuilt: index '" + rebuilt["index"].text + "' of table '" +
                           rebuilt["table"].text + "'"),
            std::string::npos)
      << plain.out;

  const auto again = run({jetdb(), "compact", src, dst});
  EXPECT_EQ(again.exitCode, 3) << "an existing destination is refused";
  EXPECT_EQ(again.err.rfind("jetdb: error ", 0), 0u) << again.err;
}

// testV1997's definitions sit apart: packed by default, the copy is smaller
// than with --keep-ids, which says why it kept them; --relocate, once
// needed, still parses and changes nothing.
TEST(Cli, CompactRelocatesUnlessTablesKeepTheirIds) {
  struct Case {
    const char* flag;
    bool relocated;
  };
  jettest::TempDir tmp;
  std::map<std::string, double> bytes;
  for (const Case& c : {Case{"", true}, Case{"--relocate", true}, Case{"--keep-ids", false}}) {
    SCOPED_TRACE(c.flag);
    const std::string dst = tmp.file(std::string("out") + c.flag + ".mdb");
    std::vector<std::string> argv{jetdb(), "compact", fixture("jackcess-V1997-testV1997.mdb"), dst,
                                  "--json"};
    if (*c.flag) argv.push_back(c.flag);
    const auto r = run(argv);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const jettest::Json j = jettest::parseJson(r.out);
    EXPECT_EQ(j["relocated"].boolean, c.relocated);
    EXPECT_EQ(j["fallbackReason"].type == jettest::Json::Type::Null, c.relocated) << r.out;
    bytes[c.flag] = j["outputBytes"].number;
  }
  EXPECT_EQ(bytes["--relocate"], bytes[""]);
  EXPECT_LT(bytes[""], bytes["--keep-ids"]);
}

}  // namespace
