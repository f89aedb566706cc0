// Reading: the header, passwords, the error numbers for files that are
// missing, foreign, cut short or damaged, encoded pages, row layouts the
// fixtures do not exercise, text and the printed forms of values.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "jet/Engine.h"
#include "jet/db/Value.h"
#include "jet/format/Password.h"
#include "jet/format/Row.h"
#include "jet/support/jet_testing.h"
#include "jet/util/Mapping.h"
#include "jet/util/Rc4.h"
#include "jet/util/Text.h"

namespace {

using jettest::errorOf;
using jettest::fixture;

int openError(const std::string& path, const std::string& connect) {
  return errorOf([&] { jettest::open(path, connect); });
}

TEST(Open, ReadsHeaderFieldsOfJet3AndJet4) {
  const auto j3 = jettest::open(fixture("jackcess-V1997-testV1997.mdb"));
  EXPECT_EQ(j3->version(), jet::Version::Jet3);
  EXPECT_EQ(j3->pageCount(), 118784u / 2048);
  EXPECT_EQ(j3->header().sortOrder, 0x0409);
  EXPECT_FALSE(j3->header().hasPassword());
  const auto j4 = jettest::open(jettest::demoDatabase());
  EXPECT_EQ(j4->version(), jet::Version::Jet4);
  EXPECT_EQ(j4->pageCount(), 4476928u / 4096);
  EXPECT_EQ(j4->header().codePage, 1252);
  EXPECT_EQ(jet::storedPassword(j4->header()), "m0ssb4nk7q");
  EXPECT_GT(j4->header().creationDate, 36526.0);  // this century
  EXPECT_LT(j4->header().creationDate, 73051.0);
}

TEST(Open, PasswordsAndConnectStrings) {
  const std::string j3 = fixture("pw-V1997-testV1997.mdb");
  const std::string j4 = fixture("mdbreader-V2000_with-password.mdb");
  const std::string none = fixture("jackcess-V2000-delTestV2000.mdb");
  const struct {
    const std::string& file;
    const char* connect;
    int error;
  } cases[] = {
      {j3, ";pwd=m0ssb4nk7q", 0},
      {j3, ";PWD=m0ssb4nk7q", 0},  // keys ignore case
      {j3, "MS Access;pwd=m0ssb4nk7q;", 0},
      {j3, ";pwd=M0SSB4NK7Q", 3031},  // values do not
      {j3, ";pwd=m0ssb4nk7", 3031},
      {j3, ";pwd=m0ssb4nk7qq", 3031},
      {j3, "", 3031},
      {j4, ";Pwd=password", 0},
      {j4, ";pwd=Password", 3031},
      {j4, ";pwd=", 3031},
      {none, ";pwd=whatever", 0},  // no password: any opens it
  };
  for (const auto& c : cases) EXPECT_EQ(openError(c.file, c.connect), c.error) << c.connect;
  EXPECT_EQ(jet::passwordFromConnect(";pwd=a b;c"), "a b");
  EXPECT_EQ(jet::passwordFromConnect(" PWD = x"), " x") << "the value is kept as written";
  EXPECT_EQ(jet::passwordFromConnect(";uid=admin"), std::nullopt);
  // A password given as a value is never parsed.
  EXPECT_EQ(jet::Credentials::withPassword(";pwd=x").password, ";pwd=x");
}

TEST(Open, MissingForeignAndDamagedFilesGiveDaoErrors) {
  jettest::TempDir tmp;
  EXPECT_EQ(openError(tmp.file("nothing.mdb"), ""), 3024);
  EXPECT_EQ(openError(tmp.path(), ""), 3051) << "a folder is no database file";
  const std::vector<uint8_t> good = jettest::readFile(fixture("jackcess-V2000-delTestV2000.mdb"));
  const auto variant = [&](auto change) {
    std::vector<uint8_t> b = good;
    change(b);
    jettest::writeFile(tmp.file("x.mdb"), b);
    return openError(tmp.file("x.mdb"), "");
  };
  EXPECT_EQ(variant([](auto& b) { b.assign(5000, 'x'); }), 3343);
  EXPECT_EQ(variant([](auto& b) { b.clear(); }), 3343);
  EXPECT_EQ(variant([](auto& b) { std::memcpy(b.data() + 4, "Standard ACE DB", 15); }), 3343);
  EXPECT_EQ(variant([](auto& b) { b[0x14] = 5; }), 3343);
  EXPECT_EQ(variant([](auto& b) { b.resize(2 * 4096); }), 3049) << "no catalog page";
  EXPECT_EQ(variant([](auto& b) { b.resize(100); }), 3049) << "no whole header page";
  for (size_t at : {0x18, 0x20, 0x2F})
    EXPECT_EQ(variant([at](auto& b) { b[at] ^= 0x5A; }), 3049) << "masked byte " << at;
}

// A write cut short leaves the last page torn: the file opens, that page
// alone cannot be read, and the size is what is on disk.
TEST(Open, ATornLastPageOpensAndCannotBeRead) {
  jettest::TempDir tmp;
  for (const char* f : {"jackcess-V1997-testV1997.mdb", "jackcess-V2000-delTestV2000.mdb"}) {
    SCOPED_TRACE(f);
    std::vector<uint8_t> b = jettest::readFile(fixture(f));
    const uint32_t whole = static_cast<uint32_t>(b.size() / (b[0x14] == 0 ? 2048 : 4096));
    for (size_t cut : {size_t{100}, size_t{1000}}) {
      std::vector<uint8_t> torn(b.begin(), b.end() - static_cast<std::ptrdiff_t>(cut));
      jettest::writeFile(tmp.file("t.mdb"), torn);
      const auto db = jettest::open(tmp.file("t.mdb"));
      EXPECT_EQ(db->pageCount(), whole);
      EXPECT_EQ(db->fileSize(), torn.size());
      EXPECT_EQ(errorOf([&] { db->page(whole - 1); }), 3049);
      EXPECT_EQ(errorOf([&] { db->pages().head(whole - 1); }), 3049);
      EXPECT_EQ(db->page(whole - 2).bytes().size(), db->pageSize());
    }
  }
}

// The password field is decoded with the version and (Jet 4) the creation
// date: a changed byte there is a damaged header, not a wrong password, with
// or without a password and with the right one offered.
TEST(Open, ChangedVersionOrCreationDateIsADamagedHeader) {
  jettest::TempDir tmp;
  const struct {
    const char* file;
    size_t at;
    uint8_t value;  // XORed in
    int error;
  } cases[] = {
      {"jackcess-V2000-delTestV2000.mdb", 0x14, 0x01, 3049},  // Jet 4 read as Jet 3
      {"jackcess-V2000-delTestV2000.mdb", 0x14, 0x03, 3343},  // no Jet 3 or 4
      {"jackcess-V2000-delTestV2000.mdb", 0x77, 0x20, 3049},
      {"jackcess-V2000-delTestV2000.mdb", 0x78, 0x01, 3049},
      {"jackcess-V2000-delTestV2000.mdb", 0x79, 0x40, 3049},
      {"jackcess-V2000-delTestV2000.mdb", 0x72, 0x01, 0},  // a fraction of a second
      {"mdbreader-V2000_with-password.mdb", 0x14, 0x01, 3049},
      {"mdbreader-V2000_with-password.mdb", 0x76, 0xFF, 3049},
      {"mdbreader-V2000_with-password.mdb", 0x79, 0x01, 3049},
      {"pw-V1997-testV1997.mdb", 0x14, 0x01, 3049},  // Jet 3 read as Jet 4
      {"jackcess-V1997-testV1997.mdb", 0x14, 0x01, 3049},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " byte " + std::to_string(c.at));
    std::vector<uint8_t> b = jettest::readFile(fixture(c.file));
    b[c.at] ^= c.value;
    jettest::writeFile(tmp.file("x.mdb"), b);
    EXPECT_EQ(openError(tmp.file("x.mdb"), jettest::connectOf(fixture(c.file))), c.error);
  }
}

TEST(Open, EncodedDatabaseReadsAsTheOriginal) {
  // Every page but the header encoded with its key, as Jet encodes.
  const std::string src = fixture("jackcess-V2000-overflowTestV2000.mdb");
  jettest::Surgery s(src);
  const uint32_t key = 0x1234ABCD;
  std::vector<uint8_t> head = s.page(0);
  jet::Rc4::apply(0x6b39dac7u, head.data() + 0x18, 128);
  jet::putLe32(head.data() + 0x3E, key);
  jet::Rc4::apply(0x6b39dac7u, head.data() + 0x18, 128);
  std::vector<std::vector<uint8_t>> pages;
  for (uint32_t pg = 1; pg < s.pages(); ++pg) pages.push_back(s.page(pg));
  s.setPage(0, head);
  s.dbKey = key;
  for (uint32_t pg = 1; pg < s.pages(); ++pg) s.setPage(pg, pages[pg - 1]);
  jettest::TempDir tmp;
  const std::string enc = tmp.file("encoded.mdb");
  s.save(enc);
  EXPECT_TRUE(jet::describe(enc, "").encoded);
  const auto a = jettest::run({jettest::jetdbPath(), "dump", src, "--system"});
  const auto b = jettest::run({jettest::jetdbPath(), "dump", enc, "--system"});
  EXPECT_EQ(b.exitCode, 0) << b.err;
  EXPECT_EQ(a.out, b.out);
  EXPECT_TRUE(jet::check(enc, "").clean());
}

jet::Column column(uint8_t type, uint16_t number, uint16_t varIndex, bool fixed,
                   uint16_t fixedOffset, uint16_t length) {
  jet::Column c;
  c.type = type;
  c.number = number;
  c.varIndex = varIndex;
  c.flags = fixed ? jet::column_flag::kFixed : 0;
  c.fixedOffset = fixedOffset;
  c.length = length;
  return c;
}

TEST(Rows, Jet3RowWithJumpTable) {
  jet::TableDef def;
  def.numVarCols = 2;
  def.columns = {column(jet::column_type::kLong, 0, 0, true, 0, 4),
                 column(jet::column_type::kText, 1, 0, false, 0, 255),
                 column(jet::column_type::kText, 2, 1, false, 0, 255)};
  // 1 count byte, 4 fixed bytes, 200 + 80 variable bytes, then from the end:
  // mask, count of variable columns, one jump entry, three offsets.
  std::vector<uint8_t> row(291, 0);
  row[0] = 3;
  row[1] = 0x2A;
  std::fill(row.begin() + 5, row.begin() + 205, 'a');
  std::fill(row.begin() + 205, row.begin() + 285, 'b');
  row[285] = 285 - 256;  // offset 2 (end of data), above 255
  row[286] = 205;        // offset 1
  row[287] = 5;          // offset 0
  row[288] = 2;          // jump: offset entries from 2 on add 256
  row[289] = 2;          // two variable columns
  row[290] = 0x07;       // all three not null
  std::vector<jet::Field> f;
  jet::RowFields(def, false, jet::ByteView(row)).all(f);
  EXPECT_EQ(f[0].bytes.u32(0), 0x2Au);
  EXPECT_EQ(f[1].bytes.size(), 200u);
  ASSERT_EQ(f[2].bytes.size(), 80u);
  EXPECT_EQ(f[2].bytes.u8(79), 'b');
}

TEST(Rows, Jet4ColumnsAddedAfterTheRowAreNullAndDamageIsAnError) {
  jet::TableDef def;
  def.numVarCols = 2;
  def.columns = {column(jet::column_type::kInteger, 0, 0, true, 0, 2),
                 column(jet::column_type::kText, 1, 0, false, 0, 100),
                 column(jet::column_type::kBoolean, 2, 0, false, 0, 0),
                 column(jet::column_type::kText, 3, 1, false, 0, 100),   // added later
                 column(jet::column_type::kInteger, 9, 0, true, 2, 2)};  // added later
  // Stored: 2 columns; fixed 2 bytes; var 0 = "hi" (UCS-2); EOD, offset 0, count, mask.
  std::vector<uint8_t> row = {2, 0, 7, 0, 'h', 0, 'i', 0, 8, 0, 4, 0, 1, 0, 0x03};
  std::vector<jet::Field> f;
  jet::RowFields(def, true, jet::ByteView(row)).all(f);
  EXPECT_EQ(f[0].bytes.u16(0), 7);
  EXPECT_EQ(f[1].bytes.size(), 4u);
  EXPECT_FALSE(f[2].null) << "booleans are never null";
  EXPECT_FALSE(f[2].boolValue) << "a column added later reads as false";
  EXPECT_TRUE(f[3].null);
  EXPECT_TRUE(f[4].null);
  row[10] = 9;  // offsets going backwards
  EXPECT_THROW(jet::RowFields(def, true, jet::ByteView(row)), jet::Corrupt);
  row[10] = 4;
  row[12] = 200;  // a variable count that cannot fit the row
  EXPECT_THROW(jet::RowFields(def, true, jet::ByteView(row)), jet::Corrupt);
}

TEST(Text, OneRulePerFormat) {
  const auto jet4 = [](std::vector<uint8_t> b) {
    return jet::textOf(jet::Version::Jet4, jet::ByteView(b));
  };
  EXPECT_EQ(jet4({0xFF, 0xFE, 'a', 'b', 'c'}), "abc");
  EXPECT_EQ(jet4({'a', 0, 'b', 0}), "ab");
  // Compressed run, switch to UCS-2 for U+20AC, back to compressed.
  EXPECT_EQ(jet4({0xFF, 0xFE, 'x', 0x00, 0xAC, 0x20, 0x00, 'y'}), "x\xE2\x82\xACy");
  EXPECT_EQ(jet4({0xFF, 0xFE, 0xE9}), "\xC3\xA9") << "compressed bytes are Latin-1";
  EXPECT_EQ(jet4({'a', 0, 'b'}), "a") << "an odd byte at the end is dropped";
  EXPECT_EQ(jet4({0x3D, 0xD8, 0x00, 0xDE}), "\xF0\x9F\x98\x80") << "a surrogate pair";
  EXPECT_EQ(jet4({0x3D, 0xD8, 'a', 0}),
            "\xEF\xBF\xBD"
            "a")
      << "an unpaired half";
  const std::vector<uint8_t> b{'A', 0x80, 0xE9, 0x9F, 0x81};
  EXPECT_EQ(jet::textOf(jet::Version::Jet3, jet::ByteView(b)),
            "A\xE2\x82\xAC\xC3\xA9\xC5\xB8\xC2\x81")
      << "Jet 3 is code page 1252";
  std::string back;
  ASSERT_TRUE(jet::utf8ToCodePage("A\xE2\x82\xAC\xC3\xA9\xC5\xB8", back));
  EXPECT_EQ(back, "A\x80\xE9\x9F");
  EXPECT_FALSE(jet::utf8ToCodePage("\xE4\xB8\xAD", back)) << "no CJK in 1252";
  EXPECT_FALSE(jet::utf8ToCodePage("\xC3", back)) << "malformed UTF-8";
}

TEST(Values, PrintedAsAccessShowsThem) {
  const struct {
    double date;
    const char* text;
  } dates[] = {{0, "1899-12-30 00:00:00"},
               {27293.0, "1974-09-21 00:00:00"},
               {36526.5, "2000-01-01 12:00:00"},
               {61.0, "1900-03-01 00:00:00"},
               {-1.25, "1899-12-29 06:00:00"},
               {0.99999999, "1899-12-31 00:00:00"},
               {1e300, "1e+300"}};
  for (const auto& d : dates) EXPECT_EQ(jet::formatDate(d.date), d.text) << d.date;
  EXPECT_EQ(jet::formatCurrency(-1), "-0.0001");
  EXPECT_EQ(jet::formatCurrency(INT64_MIN), "-922337203685477.5808");
  const std::vector<uint8_t> g{0x78, 0x56, 0x34, 0x12, 0x34, 0x12, 0x78, 0x56,
                               0x9A, 0xBC, 0xDE, 0xF0, 0x01, 0x02, 0x03, 0x04};
  EXPECT_EQ(jet::formatGuid(g), "{12345678-1234-5678-9ABC-DEF001020304}");
  EXPECT_EQ(jet::formatReal(static_cast<float>(0.1), true), "0.1");
  std::string out;
  jet::appendJsonString(std::string("a\"b\\c\n\x01", 7), out);
  EXPECT_EQ(out, "\"a\\\"b\\\\c\\n\\u0001\"");
  jet::Value v;
  v.kind = jet::Value::Kind::Real;
  v.real = 1.0 / 0.0;
  out.clear();
  jet::appendJson(v, out);
  EXPECT_EQ(out, "\"Infinity\"") << "JSON has no infinity literal";
}

}  // namespace

// The kernel may map a whole 2 MB span for one touched page; a read across a
// large file must still hold no more than the budget of it.
TEST(Mapping, HoldsABoundedShareOfTheFileWhereverItIsTouched) {
  jettest::TempDir tmp;
  constexpr uint64_t kSize = uint64_t{128} << 20, kSpan = uint64_t{2} << 20;
  const std::string path = tmp.file("big.bin");
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  // Written, not a hole: the page cache then holds the file in large folios
  // where the file system can.
  const std::vector<uint8_t> chunk(kSpan, 1);
  for (uint64_t at = 0; at < kSize; at += kSpan)
    ASSERT_EQ(::pwrite(fd, chunk.data(), kSpan, static_cast<off_t>(at)), ssize_t(kSpan));
  const auto filePages = [] {
    std::ifstream statm("/proc/self/statm");
    uint64_t size = 0, resident = 0, shared = 0;
    statm >> size >> resident >> shared;
    return shared * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
  };
  const std::unique_ptr<jet::Mapping> m = jet::Mapping::map(fd, kSize);
  ASSERT_TRUE(m);
  const uint64_t before = filePages();
  uint64_t sum = 0, most = 0;
  for (int pass = 0; pass < 2; ++pass)
    for (uint64_t at = pass * 4096; at < kSize; at += kSpan + 4096) {
      m->touch(at);
      sum += m->data()[at];
      most = std::max(most, filePages());
    }
  ::close(fd);
  EXPECT_GT(sum, 0u);
  EXPECT_LE(most - before, jet::Mapping::kHeldBudget + kSpan);
}
