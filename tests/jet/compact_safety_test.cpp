// The output contract of compaction: a complete verified file at the
// destination or nothing at all, and the source never touched.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>

#include "jet/compact/Compact.h"
#include "jet/support/faults.h"
#include "jet/support/jet_testing.h"

using namespace jettest;

namespace {

const char* kSmall = "jackcess-V2000-delTestV2000.mdb";

struct Workspace {
  TempDir dir;
  std::string src = dir.file("src.mdb");
  std::string dst = dir.file("out.mdb");
  std::vector<uint8_t> original;
  explicit Workspace(const std::string& from = fixture(kSmall)) {
    original = readFile(from);
    writeFile(src, original);
  }
  jet::CompactResult compact(jet::FileSystem& fs, const jet::Progress& progress = {}) {
    return jet::compact::compactWith(fs, src, dst, connectOf(src), {}, progress);
  }
  // Only the source may be left, unchanged.
  void expectNothingLeft() const {
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"src.mdb"});
    EXPECT_EQ(readFile(src), original);
  }
};

// The number and message of the error f throws.
std::pair<int, std::string> failureOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const jet::Error& e) {
    return {e.number(), e.what()};
  }
  return {0, ""};
}

// Offsets of bytes inside a table's rows, an index leaf and a long value in
// the compacted demo database, found by reading the clean output's pages.
std::vector<std::pair<std::string, uint64_t>> damageTargets(const std::string& compacted) {
  const Surgery s(compacted);
  std::map<std::string, uint64_t> found;
  for (uint32_t pg = 3; pg < s.pages(); ++pg) {
    const std::vector<uint8_t> p = s.page(pg);
    const uint64_t start = uint64_t{pg} * s.pageSize;
    if (p[0] == 0x01 && std::memcmp(&p[4], "LVAL", 4) == 0)
      found.try_emplace("long value", start + s.pageSize - 8);  // the first record's end
    else if (p[0] == 0x01 && jet::le32(&p[4]) > 2)
      found.try_emplace("table rows", start + s.pageSize - 8);
    else if (p[0] == 0x04)
      found.try_emplace("index leaf", start + 0x1E0 + 1);  // the first entry's key
  }
  return {found.begin(), found.end()};
}

}  // namespace

TEST(CompactSafety, RefusesWithoutTouchingAnything) {
  struct Case {
    const char* what;
    std::function<std::string(Workspace&)> arrange;  // returns the source path
    std::string dst;                                 // "" the workspace's
    int number;
    const char* says;
  };
  const std::vector<Case> cases = {
      {"missing source", [](Workspace& w) { return w.dir.file("none.mdb"); }, "", 3024, "none.mdb"},
      {"missing folder", [](Workspace& w) { return w.src; }, "no/such/out.mdb", 3044, "no/such"},
      {"source is a folder",
       [](Workspace& w) {
         std::filesystem::create_directory(w.dir.file("d.mdb"));
         return w.dir.file("d.mdb");
       },
       "", 3051, "folder"},
      {"source is a FIFO",
       [](Workspace& w) {
         ::mkfifo(w.dir.file("f.mdb").c_str(), 0644);
         return w.dir.file("f.mdb");
       },
       "", 3051, "FIFO"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Workspace w;
    const std::string src = c.arrange(w);
    const std::string dst = c.dst.empty() ? w.dst : w.dir.file(c.dst);
    const auto before = w.dir.entries();
    const auto [number, message] = failureOf([&] { jet::compactDatabase(src, dst, ""); });
    EXPECT_EQ(number, c.number) << message;
    EXPECT_NE(message.find(c.says), std::string::npos) << message;
    EXPECT_EQ(w.dir.entries(), before);
  }
}

TEST(CompactSafety, NeverReplacesADestination) {
  // There before the start, and appearing just before the copy is published.
  for (bool late : {false, true}) {
    SCOPED_TRACE(late ? "appears during compaction" : "there before");
    Workspace w;
    FaultyFileSystem fs;
    if (late)
      fs.beforePublish = [&] { writeFile(w.dst, {1, 2, 3}); };
    else
      writeFile(w.dst, {1, 2, 3});
    EXPECT_EQ(failureOf([&] { w.compact(fs); }).first, 3204);
    EXPECT_EQ(readFile(w.dst), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(readFile(w.src), w.original);
    EXPECT_EQ(w.dir.entries(), (std::vector<std::string>{"out.mdb", "src.mdb"}));
  }
}

TEST(CompactSafety, FailingWriteAtEveryStepLeavesNothing) {
  // Counts the write-side operations of a clean run, then fails each in turn,
  // as an I/O error and as a full disk. Failing after the copy got its name
  // must take it back.
  int total = 0;
  {
    Workspace w;
    FaultyFileSystem counter;
    w.compact(counter);
    total = counter.writeOperations();
  }
  ASSERT_GT(total, 3);
  for (int err : {EIO, ENOSPC}) {
    for (int step = 1; step <= total; ++step) {
      SCOPED_TRACE("step " + std::to_string(step) + " errno " + std::to_string(err));
      Workspace w;
      FaultyFileSystem fs;
      fs.failWriteAt = step;
      fs.writeErrno = err;
      EXPECT_EQ(failureOf([&] { w.compact(fs); }).first, err == ENOSPC ? 3026 : 3043);
      w.expectNothingLeft();
    }
  }
}

TEST(CompactSafety, FullDiskAtAnySizeLeavesNothing) {
  uint64_t size = 0;
  {
    Workspace w;
    size = w.compact(jet::defaultFileSystem()).outputBytes;
  }
  for (uint64_t budget : {uint64_t{0}, uint64_t{100}, size / 3, size - 1}) {
    SCOPED_TRACE(budget);
    Workspace w;
    FaultyFileSystem fs;
    fs.diskBytes = budget;
    const auto [number, message] = failureOf([&] { w.compact(fs); });
    EXPECT_EQ(number, 3026);
    EXPECT_NE(message.find("Not enough space on disk."), std::string::npos) << message;
    w.expectNothingLeft();
  }
}

TEST(CompactSafety, FailingReadsLeaveNothing) {
  int total = 0;
  {
    Workspace w(demoDatabase());
    FaultyFileSystem counter;
    w.compact(counter);
    total = counter.reads();
  }
  ASSERT_GT(total, 2);
  for (bool shortRead : {false, true}) {
    for (int at : {1, 2, total / 2, total}) {
      SCOPED_TRACE(std::to_string(at) + (shortRead ? " short" : " EIO"));
      Workspace w(demoDatabase());
      FaultyFileSystem fs;
      fs.failReadAt = at;
      fs.shortRead = shortRead;
      const auto [number, message] = failureOf([&] { w.compact(fs); });
      // A short read ahead of need is read again; a page never read whole,
      // or an error, stops the compaction.
      if (!shortRead || number != 0) {
        EXPECT_TRUE(number == 3043 || number == 3049) << number << " " << message;
        w.expectNothingLeft();
      }
    }
  }
}

TEST(CompactSafety, VerificationCatchesBytesWrittenWrong) {
  // A byte flipped on its way to the disk, in rows, an index leaf and a long
  // value: the read-back must notice before the copy gets its name.
  std::vector<std::pair<std::string, uint64_t>> targets;
  {
    Workspace w(demoDatabase());
    w.compact(jet::defaultFileSystem());
    targets = damageTargets(w.dst);
  }
  ASSERT_EQ(targets.size(), 3u);
  for (const auto& [what, at] : targets) {
    SCOPED_TRACE(what);
    Workspace w(demoDatabase());
    FaultyFileSystem fs;
    fs.flips = {{at, 0x5A}, {at + 1, 0xA5}};
    const auto [number, message] = failureOf([&] { w.compact(fs); });
    EXPECT_EQ(number, 3049) << message;
    w.expectNothingLeft();
  }
}

TEST(CompactSafety, SourceChangedDuringCompactionIsRefused) {
  // Another program writes the database meanwhile: same size and a new time,
  // or cut short under the pages being read (which must not kill us).
  const std::vector<std::pair<std::string, std::function<void(const std::string&)>>> changes = {
      {"rewritten",
       [](const std::string& src) {
         writeFile(src, readFile(src));
         const timespec times[2] = {{0, UTIME_OMIT}, {1, 0}};
         ::utimensat(AT_FDCWD, src.c_str(), times, 0);
       }},
      {"cut short", [](const std::string& src) {
         ASSERT_EQ(::truncate(src.c_str(), std::filesystem::file_size(src) / 2), 0);
       }}};
  for (const auto& [what, change] : changes) {
    SCOPED_TRACE(what);
    Workspace w(demoDatabase());
    bool changed = false;
    const auto changing = [&](double f) {
      if (f > 0.3 && !changed) {
        change(w.src);
        changed = true;
      }
      return true;
    };
    const auto [number, message] =
        failureOf([&] { w.compact(jet::defaultFileSystem(), changing); });
    EXPECT_TRUE(number == 3045 || (number == 3049 && message.find("shorter") != std::string::npos))
        << number << " " << message;
    EXPECT_TRUE(changed);
    EXPECT_EQ(w.dir.entries(), std::vector<std::string>{"src.mdb"});
  }
}

TEST(CompactSafety, CancellingAtAnyProgressCallLeavesNothing) {
  // Calls are paced by the clock, so a run may make one call more or less
  // than another: stop at the n-th call for every n until a run ends first.
  int stopAt = 1;
  for (;; ++stopAt) {
    SCOPED_TRACE(stopAt);
    Workspace w;
    int seen = 0;
    const auto [number, message] = failureOf([&] {
      w.compact(jet::defaultFileSystem(), [&](double f) {
        EXPECT_GE(f, 0.0);
        EXPECT_LE(f, 1.0);
        return ++seen < stopAt;
      });
    });
    if (number == 0 && seen < stopAt) break;
    EXPECT_EQ(number, 3059) << message;
    EXPECT_EQ(seen, stopAt) << "asked again after being told to stop";
    w.expectNothingLeft();
    if (HasFailure() || stopAt > 10000) break;
  }
  EXPECT_GE(stopAt, 3) << "too few progress calls to cancel at";
}

// A copy of a private database is private too, whatever the umask; so is
// salvage's list of lost rows, which holds their keys.
TEST(CompactSafety, CopyKeepsTheSourcesPermissions) {
  for (const auto mode : {std::filesystem::perms(0600), std::filesystem::perms(0640)}) {
    Workspace w(demoDatabase());
    std::filesystem::permissions(w.src, mode);
    const mode_t old = ::umask(022);
    w.compact(jet::defaultFileSystem());
    ::umask(old);
    EXPECT_EQ(std::filesystem::status(w.dst).permissions(), mode);
  }
}

// The bar a user watches only moves forward, and ends full.
TEST(CompactSafety, ProgressNeverGoesBack) {
  std::vector<std::string> files = sharedFixtures();
  for (const char* f : {"jackcess-V1997-testV1997.mdb", "pw-V1997-testV1997.mdb",
                        "jackcess-V2000-overflowTestV2000.mdb"})
    files.push_back(fixture(f));
  files.push_back(demoDatabase());
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    TempDir dir;
    std::vector<double> seen;
    jet::compactDatabase(file, dir.file("out.mdb"), connectOf(file), {}, [&](double f) {
      seen.push_back(f);
      return true;
    });
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GE(seen.front(), 0.0);
    EXPECT_EQ(seen.back(), 1.0);
  }
}

TEST(CompactSafety, ASignalMidwayLeavesNothing) {
  // An unnamed output vanishes with the process whatever kills it; a named
  // one (file systems without unnamed files) is removed by the handler.
  struct Case {
    bool named;
    int sig;
  };
  for (const Case c : {Case{false, SIGINT}, Case{false, SIGKILL}, Case{true, SIGINT},
                       Case{true, SIGTERM}, Case{true, SIGHUP}}) {
    SCOPED_TRACE(std::string(c.named ? "named " : "unnamed ") + strsignal(c.sig));
    Workspace w(demoDatabase());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      jet::installSignalCleanup();
      jet::FileSystem& fs = c.named ? jet::namedOutputFileSystem() : jet::defaultFileSystem();
      w.compact(fs, [&](double f) {
        if (f > 0.3) ::raise(c.sig);
        return true;
      });
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended on its own";
    EXPECT_EQ(WTERMSIG(status), c.sig);
    w.expectNothingLeft();
  }
}

TEST(CompactSafety, RefusesADatabaseSomeoneHasOpen) {
  Workspace w;
  // A Jet user holds its user lock in the .ldb beside the database.
  const int fd = ::open(w.dir.file("src.ldb").c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0x10000003;
  lock.l_len = 1;
  ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &lock), 0);
  const auto [number, message] = failureOf([&] { jet::compactDatabase(w.src, w.dst, ""); });
  EXPECT_EQ(number, 3045);
  EXPECT_NE(message.find("file already in use"), std::string::npos) << message;
  ::close(fd);
  EXPECT_FALSE(std::filesystem::exists(w.dst));
  // A lock file nobody holds is a leftover: no obstacle.
  jet::compactDatabase(w.src, w.dst, "");
  EXPECT_TRUE(std::filesystem::exists(w.dst));
}
