// The output contract of compaction: a complete verified file at the
// destination or nothing at all, and the source never touched.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "jet/Compact.h"
#include "jet/Error.h"
#include "jet/support/compact_faults.h"
#include "jet/support/compact_files.h"

using namespace jet::testing;

namespace {

const char* kSmall = "jackcess-V2000-delTestV2000.mdb";

struct Workspace {
  ScratchDir dir;
  std::string src = dir.file("src.mdb");
  std::string dst = dir.file("out.mdb");
  std::vector<uint8_t> original;
  explicit Workspace(const char* fixture = kSmall) {
    original = readBytes(testData(fixture));
    writeBytes(src, original);
  }
  // Only the source may be left, unchanged.
  void expectNothingLeft() const {
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"src.mdb"});
    EXPECT_EQ(readBytes(src), original);
  }
};

int errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const jet::Error& e) {
    return e.number();
  }
  return 0;
}

}  // namespace

TEST(CompactSafety, RefusesMissingSourceAndExistingDestination) {
  Workspace s;
  EXPECT_EQ(errorOf([&] { jet::compactDatabase(s.dir.file("none.mdb"), s.dst, ""); }), 3024);
  writeBytes(s.dst, {1, 2, 3});
  EXPECT_EQ(errorOf([&] { jet::compactDatabase(s.src, s.dst, ""); }), 3204);
  EXPECT_EQ(readBytes(s.dst), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(readBytes(s.src), s.original);
}

TEST(CompactSafety, RefusesADestinationInAMissingFolder) {
  Workspace s;
  try {
    jet::compactDatabase(s.src, s.dir.file("no/such/out.mdb"), "");
    ADD_FAILURE() << "wrote into a folder that does not exist";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), 3044);
    EXPECT_NE(std::string(e.what()).find("no/such"), std::string::npos) << e.what();
  }
  s.expectNothingLeft();
}

TEST(CompactSafety, SucceedsLeavingOnlyTheDestination) {
  Workspace s;
  const jet::CompactResult r = jet::compactDatabase(s.src, s.dst, "");
  EXPECT_EQ(s.dir.entries(), (std::vector<std::string>{"out.mdb", "src.mdb"}));
  EXPECT_EQ(readBytes(s.src), s.original);
  EXPECT_EQ(r.outputBytes, readBytes(s.dst).size());
  EXPECT_EQ(r.tables, 1u);  // MSys* tables are not counted
  EXPECT_EQ(r.rows, 2u);
}

TEST(CompactSafety, FailingOperationAtEveryStepLeavesNothing) {
  // Count the operations of a clean run, then fail each one in turn, as a
  // write error and as a full disk.
  int total = 0;
  {
    Workspace s;
    FaultyFileSystem counter(0, 0);
    jet::compact::compactWith(s.src, s.dst, "", {}, {}, counter);
    total = counter.operations();
  }
  ASSERT_GT(total, 3);
  for (int err : {EIO, ENOSPC}) {
    for (int step = 1; step <= total; ++step) {
      SCOPED_TRACE("step " + std::to_string(step) + " errno " + std::to_string(err));
      Workspace s;
      FaultyFileSystem faulty(step, err);
      int number = errorOf([&] { jet::compact::compactWith(s.src, s.dst, "", {}, {}, faulty); });
      EXPECT_EQ(number, err == ENOSPC ? 3026 : 3043);
      // A failure after the rename must take the destination back too.
      s.expectNothingLeft();
    }
  }
}

TEST(CompactSafety, FullDiskAtAnySizeLeavesNothing) {
  uint64_t size = 0;
  {
    Workspace s0;
    size = jet::compactDatabase(s0.src, s0.dst, "").outputBytes;
  }
  for (uint64_t budget : {uint64_t{0}, uint64_t{100}, size / 3, size - 1}) {
    SCOPED_TRACE(budget);
    Workspace s;
    FaultyFileSystem disk = FaultyFileSystem::diskOf(budget);
    try {
      jet::compact::compactWith(s.src, s.dst, "", {}, {}, disk);
      ADD_FAILURE() << "a full disk went unnoticed";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.number(), 3026);
      EXPECT_NE(std::string(e.what()).find("Not enough space on disk."), std::string::npos);
    }
    s.expectNothingLeft();
  }
}

TEST(CompactSafety, CancellingAtAnyProgressCallLeavesNothing) {
  int calls = 0;
  {
    Workspace s;
    jet::compactDatabase(s.src, s.dst, "", {}, [&](double f) {
      EXPECT_GE(f, 0.0);
      EXPECT_LE(f, 1.0);
      ++calls;
      return true;
    });
  }
  ASSERT_GE(calls, 1);
  for (int stopAt = 1; stopAt <= calls; ++stopAt) {
    Workspace s;
    int seen = 0;
    const int number = errorOf([&] {
      jet::compactDatabase(s.src, s.dst, "", {}, [&](double) { return ++seen < stopAt; });
    });
    EXPECT_EQ(number, 3059);
    s.expectNothingLeft();
  }
}

TEST(CompactSafety, NeverOpensALeftoverTemporaryFile) {
  Workspace s;
  const std::string squatter = jet::compact::temporaryName(s.dst, 0);
  writeBytes(squatter, {9, 9});
  jet::compactDatabase(s.src, s.dst, "");
  EXPECT_EQ(readBytes(squatter), (std::vector<uint8_t>{9, 9}));
  EXPECT_TRUE(fileExists(s.dst));
}

TEST(CompactSafety, RefusesADatabaseSomeoneHasOpen) {
  Workspace s;
  // A Jet user holds its user lock in the .ldb beside the database.
  const int fd = ::open(s.dir.file("src.ldb").c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0x10000003;
  lock.l_len = 1;
  ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &lock), 0);
  try {
    jet::compactDatabase(s.src, s.dst, "");
    ADD_FAILURE() << "an open database was compacted";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), 3045);
    EXPECT_NE(std::string(e.what()).find("file already in use"), std::string::npos);
  }
  ::close(fd);
  EXPECT_FALSE(fileExists(s.dst));
  // A lock file nobody holds is a leftover: no obstacle.
  jet::compactDatabase(s.src, s.dst, "");
  EXPECT_TRUE(fileExists(s.dst));
}
