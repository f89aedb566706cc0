// The shortcuts taken for speed must read exactly what the plain paths read:
// a mapped database against one read whole, the last entry of an index page
// decoded alone against the whole page (damaged pages included), and row
// positions found by counting bits against positions in the list.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "jet/Bytes.h"
#include "jet/Checker.h"
#include "jet/CompactDigest.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "jet/Header.h"
#include "jet/IndexReader.h"
#include "jet/Rc4.h"
#include "jet/support/jet_testing.h"

namespace {

struct Source {
  std::string path, connect;
};

std::vector<Source> sources() {
  return {
      {jettest::fixture("jackcess-V1997-compIndexTestV1997.mdb"), ""},
      {jettest::fixture("jackcess-V2000-overflowTestV2000.mdb"), ""},
      {jettest::fixture("pw-V1997-testV1997.mdb"), std::string(";pwd=") + jettest::kDemoPassword},
      {jettest::fixture("mdbreader-V2000_with-password.mdb"), ";pwd=password"},
      {jettest::demoDatabase(), std::string(";pwd=") + jettest::kDemoPassword}};
}

std::string findingsOf(const jet::CheckReport& r) {
  std::string s;
  for (const jet::Finding& f : r.findings)
    s += std::to_string(static_cast<int>(f.severity)) + " " + f.table + " " +
         std::to_string(f.page) + " " + f.message + "\n";
  return s;
}

// An encoded copy of a fixture (every page but the header under a key): the
// mapped reader must fall back to decoding it in memory.
std::string encodedCopy(const jettest::TempDir& tmp) {
  std::vector<uint8_t> bytes =
      jettest::readFile(jettest::fixture("jackcess-V2000-overflowTestV2000.mdb"));
  const uint32_t key = 0x1234ABCD;
  jet::applyHeaderMask(bytes.data(), 128);
  jet::putLe32(bytes.data() + 0x3E, key);
  jet::applyHeaderMask(bytes.data(), 128);
  for (uint32_t pg = 1; pg < bytes.size() / 4096; ++pg)
    jet::applyPageKey(key, pg, bytes.data() + pg * 4096, 4096);
  const std::string path = tmp.file("encoded.mdb");
  jettest::writeFile(path, bytes);
  return path;
}

TEST(MappedDatabase, SamePagesAndFindingsAsReadWholeAndViewsOutliveDroppedPages) {
  jettest::TempDir tmp;
  std::vector<Source> all = sources();
  all.push_back({encodedCopy(tmp), ""});
  for (const Source& s : all) {
    SCOPED_TRACE(s.path);
    const auto whole = jet::Database::open(s.path, s.connect);
    const auto mapped = jet::Database::openPrivate(s.path, s.connect);
    ASSERT_EQ(whole->pageCount(), mapped->pageCount());
    EXPECT_EQ(whole->fileSize(), mapped->fileSize());
    for (uint32_t pg = 0; pg < whole->pageCount(); ++pg) {
      const jet::ByteView a = whole->page(pg), b = mapped->page(pg);
      ASSERT_EQ(0, std::memcmp(a.data(), b.data(), a.size())) << "page " << pg;
    }
    const jet::ByteView held = mapped->page(2);
    const std::vector<uint8_t> before = held.copy();
    mapped->dropPages();
    EXPECT_EQ(0, std::memcmp(held.data(), before.data(), before.size()));
    EXPECT_EQ(findingsOf(jet::check(s.path, s.connect)),
              findingsOf(jet::checkPrivateFile(s.path, s.connect)));
  }
}

// Both readers on one page: the same Corrupt message, or the same last entry.
void expectSameLastEntry(const jet::Database& db, uint32_t pg) {
  std::string wholeError, lastError;
  jet::IndexPage page;
  try {
    page = jet::readIndexPage(db, pg);
  } catch (const jet::Corrupt& e) {
    wholeError = e.what();
  }
  jet::IndexEntry last;
  bool any = false;
  try {
    any = jet::readLastIndexEntry(db, pg, last);
  } catch (const jet::Corrupt& e) {
    lastError = e.what();
  }
  ASSERT_EQ(wholeError, lastError) << "page " << pg;
  if (!wholeError.empty()) return;
  ASSERT_EQ(!page.entries.empty(), any) << "page " << pg;
  if (!any) return;
  const jet::IndexEntry& want = page.entries.back();
  EXPECT_EQ(want.key, last.key) << "page " << pg;
  EXPECT_EQ(want.page, last.page) << "page " << pg;
  EXPECT_EQ(want.row, last.row) << "page " << pg;
  EXPECT_EQ(want.child, last.child) << "page " << pg;
}

bool isIndexPage(const jet::ByteView& p) {
  return p.u8(0) == jet::page_type::kIndexLeaf || p.u8(0) == jet::page_type::kIndexNode;
}

TEST(IndexPages, LastEntryAloneMatchesTheWholePageEvenWhenDamaged) {
  size_t pages = 0, damaged = 0;
  std::mt19937 rng(7);
  for (const Source& s : sources()) {
    SCOPED_TRACE(s.path);
    const auto db = jet::Database::open(s.path, s.connect);
    for (uint32_t pg = 0; pg < db->pageCount(); ++pg)
      if (isIndexPage(db->page(pg))) {
        expectSameLastEntry(*db, pg);
        ++pages;
      }
    // Damage: bytes of the entry bitmap, the prefix length and the entries
    // themselves overwritten, one page at a time, in a decoded copy.
    const jet::Format& f = db->format();
    std::vector<uint8_t> bytes;
    for (uint32_t pg = 0; pg < db->pageCount(); ++pg)
      bytes.insert(bytes.end(), db->page(pg).begin(), db->page(pg).end());
    for (uint32_t pg = 0; pg < db->pageCount(); ++pg) {
      if (!isIndexPage(db->page(pg))) continue;
      for (int round = 0; round < 8; ++round) {
        std::vector<uint8_t> copy = bytes;
        uint8_t* p = copy.data() + static_cast<size_t>(pg) * f.pageSize;
        const size_t at =
            round % 4 == 0 ? f.idxPrefix : f.idxBitmap + rng() % (f.pageSize - f.idxBitmap);
        p[at] = static_cast<uint8_t>(rng());
        const auto broken = jet::Database::fromBytes(std::move(copy), "damaged", s.connect);
        expectSameLastEntry(*broken, pg);
        ++damaged;
      }
    }
  }
  EXPECT_GT(pages, 10u);
  EXPECT_GT(damaged, 80u);
}

TEST(RowIndex, PositionsByCountingMatchTheList) {
  using jet::RowPtr;
  // Pages 3 and 5, rows scattered over all four words of a page's bits.
  const std::vector<uint32_t> rows = {
      RowPtr{3, 0}.raw(), RowPtr{3, 63}.raw(),  RowPtr{3, 64}.raw(), RowPtr{3, 200}.raw(),
      RowPtr{5, 1}.raw(), RowPtr{5, 128}.raw(), RowPtr{5, 255}.raw()};
  const jet::compact::RowIndex index(rows, 8);
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(i, index.find(RowPtr::fromRaw(rows[i]))) << i;
  for (const RowPtr absent : {RowPtr{3, 1}, RowPtr{3, 199}, RowPtr{4, 0}, RowPtr{5, 0},
                              RowPtr{5, 254}, RowPtr{7, 0}, RowPtr{9, 0}, RowPtr{0x7FFFFF, 255}})
    EXPECT_EQ(UINT32_MAX, index.find(absent)) << absent.page << "/" << int(absent.row);

  EXPECT_THROW(jet::compact::RowIndex({RowPtr{5, 1}.raw(), RowPtr{3, 0}.raw()}, 8), jet::Corrupt);
  EXPECT_THROW(jet::compact::RowIndex({RowPtr{3, 1}.raw(), RowPtr{3, 1}.raw()}, 8), jet::Corrupt);
  EXPECT_THROW(jet::compact::RowIndex({RowPtr{9, 0}.raw()}, 8), jet::Corrupt);
}

}  // namespace
