// Opening: the header, passwords, and the error numbers for files that are
// missing, foreign, cut short or damaged.
#include <gtest/gtest.h>

#include <cmath>

#include "jet/Database.h"
#include "jet/Engine.h"
#include "jet/Password.h"
#include "jet/Rc4.h"
#include "jet/support/jet_testing.h"

namespace {

using jettest::fixture;

int openError(const std::string& path, const std::string& connect = "") {
  try {
    jet::Database::open(path, connect);
  } catch (const jet::Error& e) {
    return e.number();
  }
  return 0;
}

std::string openMessage(const std::string& path, const std::string& connect = "") {
  try {
    jet::Database::open(path, connect);
  } catch (const jet::Error& e) {
    return e.description();
  }
  return "";
}

TEST(Open, ReadsHeaderFieldsOfJet3AndJet4) {
  const auto j3 = jet::Database::open(fixture("jackcess-V1997-testV1997.mdb"), "");
  EXPECT_EQ(j3->version(), jet::Version::Jet3);
  EXPECT_EQ(j3->pageSize(), 2048u);
  EXPECT_EQ(j3->pageCount(), 118784u / 2048);
  EXPECT_EQ(j3->header().codePage, 1252);
  EXPECT_EQ(j3->header().sortOrder, 0x0409);
  EXPECT_FALSE(j3->header().hasPassword());

  const auto j4 = jet::Database::open(jettest::demoDatabase(), ";pwd=m0ssb4nk7q");
  EXPECT_EQ(j4->version(), jet::Version::Jet4);
  EXPECT_EQ(j4->pageSize(), 4096u);
  EXPECT_EQ(j4->pageCount(), 4476928u / 4096);
  EXPECT_EQ(j4->header().codePage, 1252);
  EXPECT_TRUE(j4->header().hasPassword());
  EXPECT_EQ(jet::storedPassword(j4->header()), "m0ssb4nk7q");
  // A creation date this century.
  EXPECT_GT(j4->header().creationDate, 36526.0);
  EXPECT_LT(j4->header().creationDate, 73051.0);
  EXPECT_EQ(j4->header().unmasked.size(), 4096u);
}

TEST(Open, Jet3PasswordRightWrongAndAbsent) {
  const std::string path = fixture("pw-V1997-testV1997.mdb");
  EXPECT_EQ(openError(path, ";pwd=m0ssb4nk7q"), 0);
  EXPECT_EQ(openError(path, ";PWD=m0ssb4nk7q"), 0) << "keys are case-insensitive";
  EXPECT_EQ(openError(path, "MS Access;pwd=m0ssb4nk7q;"), 0);
  EXPECT_EQ(openError(path, ";pwd=M0SSB4NK7Q"), 3031) << "passwords are case-sensitive";
  EXPECT_EQ(openError(path, ";pwd=m0ssb4nk7"), 3031) << "a prefix is not the password";
  EXPECT_EQ(openError(path, ";pwd=m0ssb4nk7qq"), 3031);
  EXPECT_EQ(openError(path, ""), 3031);
  EXPECT_EQ(openMessage(path, ";pwd=x"), "Not a valid password.");
}

TEST(Open, Jet4PasswordRightWrongAndAbsent) {
  const std::string path = fixture("mdbreader-V2000_with-password.mdb");
  EXPECT_EQ(openError(path, ";pwd=password"), 0);
  EXPECT_EQ(openError(path, ";Pwd=password"), 0);
  EXPECT_EQ(openError(path, ";pwd=Password"), 3031);
  EXPECT_EQ(openError(path, ";pwd="), 3031);
  EXPECT_EQ(openError(path, ""), 3031);
  EXPECT_EQ(openError(jettest::demoDatabase(), ";pwd=m0ssb4nk7q"), 0);
  EXPECT_EQ(openError(jettest::demoDatabase(), ";pwd=password"), 3031);
}

TEST(Open, DatabaseWithoutPasswordOpensWithAnyPassword) {
  EXPECT_EQ(openError(fixture("jackcess-V1997-testV1997.mdb"), ";pwd=whatever"), 0);
  EXPECT_EQ(openError(fixture("jackcess-V2000-delTestV2000.mdb"), ";pwd=whatever"), 0);
}

TEST(Open, ConnectStringParsing) {
  EXPECT_EQ(jet::passwordFromConnect(";pwd=a b;c"), "a b");
  EXPECT_EQ(jet::passwordFromConnect(" PWD = x"), " x") << "the value is kept as written";
  EXPECT_EQ(jet::passwordFromConnect(";uid=admin"), std::nullopt);
  EXPECT_EQ(jet::passwordFromConnect(""), std::nullopt);
  EXPECT_EQ(jet::passwordFromConnect(";pwd="), "");
}

TEST(Open, MissingForeignAndDamagedFilesGiveDaoErrors) {
  jettest::TempDir tmp;
  const std::string missing = tmp.file("nothing.mdb");
  EXPECT_EQ(openError(missing), 3024);
  EXPECT_EQ(openMessage(missing), "Could not find file '" + missing + "'.");
  EXPECT_EQ(openError(tmp.path()), 3024) << "a folder is no database file";

  const std::string text = tmp.file("notes.mdb");
  jettest::writeFile(text, std::vector<uint8_t>(5000, 'x'));
  EXPECT_EQ(openError(text), 3343);
  EXPECT_EQ(openMessage(text), "Unrecognized database format '" + text + "'.");

  const std::string empty = tmp.file("empty.mdb");
  jettest::writeFile(empty, {});
  EXPECT_EQ(openError(empty), 3343);

  std::vector<uint8_t> good = jettest::readFile(fixture("jackcess-V2000-delTestV2000.mdb"));

  // An ACE (.accdb) header and a version byte no Jet 3/4 file has.
  std::vector<uint8_t> ace = good;
  std::memcpy(ace.data() + 4, "Standard ACE DB", 15);
  const std::string acePath = tmp.file("ace.accdb");
  jettest::writeFile(acePath, ace);
  EXPECT_EQ(openError(acePath), 3343);
  std::vector<uint8_t> v5 = good;
  v5[0x14] = 5;
  jettest::writeFile(tmp.file("v5.mdb"), v5);
  EXPECT_EQ(openError(tmp.file("v5.mdb")), 3343);

  // Not a whole number of pages, or fewer pages than the catalog needs.
  const std::string cut = tmp.file("cut.mdb");
  jettest::writeFile(cut, std::vector<uint8_t>(good.begin(), good.end() - 100));
  EXPECT_EQ(openError(cut), 3049);
  EXPECT_EQ(openMessage(cut),
            "Cannot open database '" + cut +
                "'. It may not be a database that your application recognizes, or the file may "
                "be corrupt.");
  jettest::writeFile(cut, std::vector<uint8_t>(good.begin(), good.begin() + 2 * 4096));
  EXPECT_EQ(openError(cut), 3049);
  jettest::writeFile(cut, std::vector<uint8_t>(good.begin(), good.begin() + 100));
  EXPECT_EQ(openError(cut), 3049) << "a Jet signature but no whole header page";

  // Flipped bytes inside the masked header.
  for (size_t at : {0x18, 0x1C, 0x20, 0x2F}) {
    std::vector<uint8_t> flipped = good;
    flipped[at] ^= 0x5A;
    const std::string p = tmp.file("flip.mdb");
    jettest::writeFile(p, flipped);
    EXPECT_EQ(openError(p), 3049) << "flipped byte at " << at;
  }
}

TEST(Open, EncodedDatabaseIsReadThroughItsPageKey) {
  // Encode every page but the header with a key, as Jet does for an encoded
  // database; the copy must read exactly as the original.
  const std::string src = fixture("jackcess-V2000-overflowTestV2000.mdb");
  std::vector<uint8_t> bytes = jettest::readFile(src);
  const uint32_t key = 0x1234ABCD;
  jet::applyHeaderMask(bytes.data(), 128);
  jet::putLe32(bytes.data() + 0x3E, key);
  jet::applyHeaderMask(bytes.data(), 128);
  for (uint32_t pg = 1; pg < bytes.size() / 4096; ++pg)
    jet::applyPageKey(key, pg, bytes.data() + pg * 4096, 4096);
  jettest::TempDir tmp;
  const std::string enc = tmp.file("encoded.mdb");
  jettest::writeFile(enc, bytes);

  const jet::DatabaseInfo plain = jet::describe(src, "");
  const jet::DatabaseInfo coded = jet::describe(enc, "");
  EXPECT_FALSE(plain.encoded);
  EXPECT_TRUE(coded.encoded);
  ASSERT_EQ(coded.tables.size(), plain.tables.size());
  for (size_t i = 0; i < plain.tables.size(); ++i) {
    EXPECT_EQ(coded.tables[i].name, plain.tables[i].name);
    EXPECT_EQ(coded.tables[i].rowCount, plain.tables[i].rowCount);
  }
  const auto a = jettest::run({jettest::jetdbPath(), "dump", src, "--system"});
  const auto b = jettest::run({jettest::jetdbPath(), "dump", enc, "--system"});
  EXPECT_EQ(b.exitCode, 0) << b.err;
  EXPECT_EQ(a.out, b.out);
  EXPECT_TRUE(jet::check(enc, "").clean());
}

TEST(Open, HeaderMaskStartsWithTheKnownKeyStream) {
  uint8_t page[0x18 + 16] = {};
  jet::applyHeaderMask(page, 16);
  const uint8_t expected[16] = {0xb5, 0x6f, 0x03, 0x62, 0x61, 0x08, 0xc2, 0x55,
                                0xeb, 0xa9, 0x67, 0x72, 0x43, 0x3f, 0x00, 0x9c};
  EXPECT_EQ(0, std::memcmp(page + 0x18, expected, 16));
}

}  // namespace
