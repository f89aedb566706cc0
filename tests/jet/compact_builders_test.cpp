// The page builders, read back by the engine's reader (an independent
// implementation): data pages, index trees of one to three levels, usage
// maps inline and by reference, and page 1.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

#include "jet/compact/ExternalSort.h"
#include "jet/db/Database.h"
#include "jet/format/DataPage.h"
#include "jet/format/DataPageBuilder.h"
#include "jet/format/IndexBuilder.h"
#include "jet/format/IndexPage.h"
#include "jet/format/PageWriter.h"
#include "jet/format/UsageMap.h"
#include "jet/format/UsageMapBuilder.h"
#include "jet/support/jet_testing.h"

using namespace jet;

namespace {

// A real small database with room to append pages after its own, read
// back from the unpublished output file itself.
class ScratchDb {
 public:
  ScratchDb() : base_(jettest::readFile(jettest::fixture("jackcess-V2000-delTestV2000.mdb"))) {
    file_ = defaultFileSystem().createOutput(dir_.file("db.mdb"));
    file_->writeAt(0, base_.data(), base_.size());
    std::vector<uint32_t> pinned;
    for (uint32_t pg = 0; pg < base_.size() / 4096; ++pg) pinned.push_back(pg);
    alloc_ = std::make_unique<PageAllocator>(pinned);
    sink_ = std::make_unique<PageSink>(*file_, Format::of(Version::Jet4), 0);
  }
  PageAllocator& alloc() { return *alloc_; }
  PageSink& sink() { return *sink_; }
  const Format& format() { return Format::of(Version::Jet4); }
  const Database& open() {
    for (uint32_t pg = static_cast<uint32_t>(base_.size() / 4096); pg < alloc_->end(); ++pg)
      if (!sink_->written(pg)) sink_->write(pg, std::vector<uint8_t>(4096, 0));
    sink_->flush();
    db_ = Database::open(file_, std::nullopt);
    return *db_;
  }

 private:
  jettest::TempDir dir_;
  std::vector<uint8_t> base_;
  std::shared_ptr<OutputFile> file_;
  std::unique_ptr<PageAllocator> alloc_;
  std::unique_ptr<PageSink> sink_;
  std::unique_ptr<Database> db_;
};

std::vector<uint8_t> entryBytes(const std::vector<uint8_t>& key, uint32_t page, uint8_t row) {
  std::vector<uint8_t> e = key;
  e.insert(e.end(), {uint8_t(page >> 16), uint8_t(page >> 8), uint8_t(page), row});
  return e;
}

// Collects the leaf entries in order, checks every node entry against its
// child's last entry and counts the levels.
struct TreeReader : IndexVisitor {
  std::vector<std::vector<uint8_t>> entries;
  int depth = 0;
  void onPage(const IndexPage& p, int d) override {
    EXPECT_EQ(p.owner, 2u);
    depth = std::max(depth, d + 1);
  }
  void onEntry(const IndexEntry& e) override { entries.push_back(e.keyAndRow.copy()); }
  void onChild(const IndexPage&, const IndexEntry* bound, const IndexEntry*, const IndexEntry*,
               const IndexEntry* last) override {
    ASSERT_NE(last, nullptr) << "an empty child";
    if (bound) {
      EXPECT_EQ(bound->keyAndRow.copy(), last->keyAndRow.copy());
    }
  }
};

}  // namespace

TEST(DataPageBuilder, PacksRowsUntilFullAndReadsBack) {
  ScratchDb s;
  DataPageBuilder b(s.format(), 7);
  std::vector<std::vector<uint8_t>> rows;
  for (size_t n = 1;; n = n * 3 % 301 + 1) {
    std::vector<uint8_t> row(n, static_cast<uint8_t>(n));
    if (!b.fits(row.size())) {
      // Exactly: a row plus its directory entry must not fit any more.
      EXPECT_LT(b.freeSpace(), row.size() + 2);
      break;
    }
    b.add(row.data(), row.size());
    rows.push_back(row);
  }
  b.setFlags(1, kRowDeleted | kRowLookup);
  const uint32_t pg = s.alloc().allocate();
  s.sink().write(pg, b.page());
  const Database& db = s.open();
  const DataPage page(db.page(pg), db.format());
  EXPECT_EQ(page.owner(), 7u);
  ASSERT_EQ(page.rowCount(), rows.size());
  EXPECT_EQ(page.freeSpace(), page.computedFreeSpace());
  for (uint16_t r = 0; r < rows.size(); ++r) {
    const RowSlot slot = page.slot(r);
    EXPECT_EQ(slot.bytes.copy(), rows[r]) << r;
    EXPECT_EQ(slot.deleted(), r == 1);
  }
}

TEST(DataPageBuilder, StopsAt255Rows) {
  DataPageBuilder b(Format::of(Version::Jet3), 0);
  int n = 0;
  while (b.fits(1)) {
    const uint8_t x = 1;
    b.add(&x, 1);
    ++n;
  }
  EXPECT_EQ(n, 255);
}

class IndexSizes : public ::testing::TestWithParam<int> {};

TEST_P(IndexSizes, TreeReadsBackInOrderWithConsistentNodes) {
  const int n = GetParam();
  ScratchDb s;
  // Long shared prefixes (compressed on the page) and runs of equal keys.
  std::vector<std::vector<uint8_t>> entries;
  for (int i = 0; i < n; ++i) {
    std::vector<uint8_t> key{0x7F};
    key.insert(key.end(), static_cast<size_t>(i % 7 == 0 ? 30 : 3), 'A');
    const uint32_t v = static_cast<uint32_t>(i / 3);
    key.insert(key.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
    entries.push_back(entryBytes(key, 40 + i / 200, static_cast<uint8_t>(i % 200)));
  }
  // Put in order by the external sort, which at this budget spills runs to
  // a temporary file from a few thousand entries on and merges them.
  std::shuffle(entries.begin(), entries.end(), std::mt19937(n));
  jettest::TempDir spillDir;
  compact::ExternalSort sorter(
      16 << 10, [&] { return defaultFileSystem().createOutput(spillDir.file("s")); });
  for (const auto& e : entries) sorter.add(e.data(), static_cast<uint32_t>(e.size()));
  const size_t runs = sorter.spilledRuns();
  std::vector<std::vector<uint8_t>> sorted;
  sorter.drain([&](const EntryRef& e) { sorted.emplace_back(e.data, e.data + e.size); });
  std::vector<EntryRef> refs;
  for (const auto& e : sorted) refs.push_back({e.data(), static_cast<uint32_t>(e.size())});
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return jet::entryLess({a.data(), uint32_t(a.size())}, {b.data(), uint32_t(b.size())});
  });
  ASSERT_EQ(sorted, entries);
  EXPECT_EQ(runs > 1, n >= 5000) << runs << " runs";
  const BuiltIndex built = buildIndex(refs, 2, s.alloc(), s.sink());
  const Database& db = s.open();
  TreeReader tree;
  walkIndex(db.pages(), built.root, 2, tree);
  ASSERT_EQ(tree.entries.size(), refs.size());
  for (size_t i = 0; i < refs.size(); ++i)
    ASSERT_EQ(tree.entries[i], std::vector<uint8_t>(refs[i].data, refs[i].data + refs[i].size))
        << i;
  if (n > 100000) {
    EXPECT_GE(tree.depth, 3) << "the deep case was not exercised";
  }
  if (n <= 1) {
    EXPECT_EQ(tree.depth, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Counts, IndexSizes, ::testing::Values(0, 1, 300, 5000, 150000));

TEST(UsageMapBuilder, InlineAndReferenceMapsListExactlyTheirPages) {
  ScratchDb s;
  std::vector<std::vector<uint32_t>> sets = {{}, {40, 41, 42, 47}, {}};
  for (uint32_t pg = 50; pg < 50 + 40000; pg += 3) sets.back().push_back(pg);  // too wide inline
  // Pages the maps talk about must exist in the file.
  while (s.alloc().end() < 50 + 40000) s.alloc().allocate();
  MapHolder holder(s.alloc(), s.sink());
  std::vector<RowPtr> where;
  for (const auto& set : sets) where.push_back(holder.add(buildUsageMap(set, s.alloc(), s.sink())));
  holder.flush();
  const Database& db = s.open();
  for (size_t i = 0; i < sets.size(); ++i) {
    const UsageMap m = readUsageMap(db.pages(), where[i]);
    EXPECT_EQ(m.pages, sets[i]) << i;
    EXPECT_EQ(m.kind, i == 2 ? UsageMap::Kind::Reference : UsageMap::Kind::Inline) << i;
  }
}

TEST(UsageMapBuilder, GlobalMapMarksExactlyTheUnusedPagesFree) {
  for (uint32_t size : {60u, 40000u}) {
    ScratchDb s;
    while (s.alloc().end() < size) s.alloc().allocate();
    std::vector<bool> used(size, true);
    for (uint32_t pg = 35; pg < size; pg += 5) used[pg] = false;
    s.sink().write(1, buildGlobalMapPage(used, s.alloc(), s.sink()));
    const Database& db = s.open();
    const UsageMap global = readGlobalMap(db.pages());
    std::vector<uint32_t> expected;
    // Pages past `used` are the map's own bitmap pages: in use.
    for (uint32_t pg = 0; pg < size; ++pg)
      if (!used[pg]) expected.push_back(pg);
    std::vector<uint32_t> inFile;
    for (uint32_t pg : global.pages)
      if (pg < db.pageCount()) inFile.push_back(pg);
    EXPECT_EQ(inFile, expected) << size;
    EXPECT_EQ(global.kind, size > 10000 ? UsageMap::Kind::Reference : UsageMap::Kind::Inline);
  }
}
