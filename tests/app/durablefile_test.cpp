// Durable copies and replacements: what is left on disk after success, after
// a failure at each step, and after a kill at any moment.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "support/AppTesting.h"

namespace {

using apptest::readAll;
using apptest::writeAll;
using platform::FileStep;

QByteArray randomBytes(int n, unsigned seed) {
  std::mt19937 gen(seed);
  QByteArray s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

class Durable : public ::testing::Test {
 protected:
  void TearDown() override { platform::setFileFaultHook({}); }
  QString path(const char* name) const { return dir_.filePath(name); }
  std::string p(const char* name) const { return QFile::encodeName(path(name)).toStdString(); }
  QStringList listing() const { return apptest::listing(dir_.path()); }
  void chmod(const char* name, mode_t mode) { ASSERT_EQ(::chmod(p(name).c_str(), mode), 0); }

  QTemporaryDir dir_;
  // Several chunks and a ragged end.
  const QByteArray old_ = randomBytes(1024 * 1024 + 17, 1), new_ = randomBytes(700 * 1024 + 3, 2);
};

TEST_F(Durable, CopyKeepsBytesModeAndTimeAndNeverWritesThroughAName) {
  writeAll(path("src"), old_);
  chmod("src", 0640);
  const struct timespec times[2] = {{1000000000, 5}, {1234567890, 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, p("src").c_str(), times, 0), 0);
  ASSERT_TRUE(platform::copyToNewFile(p("src"), p("dst")).ok());
  EXPECT_EQ(readAll(path("dst")), old_);
  EXPECT_EQ(platform::fileFacts(p("dst"))->mode, 0640u);
  EXPECT_EQ(platform::fileFacts(p("dst"))->mtimeNs, 1234567890LL * 1000000000 + 123456789);

  writeAll(path("keep"), "keep me");
  EXPECT_TRUE(platform::copyToNewFile(p("src"), p("keep")).alreadyExists());
  EXPECT_EQ(readAll(path("keep")), "keep me");
  ASSERT_EQ(::symlink(p("elsewhere").c_str(), p("link").c_str()), 0);
  EXPECT_FALSE(platform::copyToNewFile(p("src"), p("link")).ok());
  EXPECT_TRUE(platform::pathIsFree(p("elsewhere")));
}

TEST_F(Durable, FailedCopyLeavesNothingBehind) {
  writeAll(path("src"), old_);
  ASSERT_TRUE(QDir(dir_.path()).mkdir("folder"));
  ASSERT_EQ(::mkfifo(p("fifo").c_str(), 0644), 0);  // a plain read would block forever
  const struct {
    const char* src;
    FileStep step;
    uint64_t offset;
  } faults[] = {{"src", FileStep::Write, 512 * 1024}, {"src", FileStep::Metadata, 0},
                {"src", FileStep::Sync, 0},           {"src", FileStep::Verify, 0},
                {"src", FileStep::SyncFolder, 0},     {"missing", FileStep::OpenSource, 0},
                {"folder", FileStep::OpenSource, 0},  {"fifo", FileStep::OpenSource, 0}};
  const QStringList before = listing();
  for (const auto& f : faults) {
    if (f.step != FileStep::OpenSource)
      platform::setFileFaultHook(apptest::failAt(f.step, ENOSPC, f.offset));
    const platform::FileResult r = platform::copyToNewFile(p(f.src), p("dst"));
    platform::setFileFaultHook({});
    EXPECT_EQ(r.failedStep, f.step) << r.message;
    EXPECT_EQ(listing(), before) << "after " << r.message;
  }
  EXPECT_EQ(readAll(path("src")), old_);
}

TEST_F(Durable, ReplaceInstallsNewBytesWithTheOldModeAndOwner) {
  writeAll(path("db"), old_);
  writeAll(path("rep"), new_);
  chmod("db", 0640);
  chmod("rep", 0600);
  const bool root = ::geteuid() == 0;  // only root may give a file away
  if (root) {
    ASSERT_EQ(::chown(p("db").c_str(), 4321, 8765), 0);
  }
  ASSERT_TRUE(platform::replaceFile(p("rep"), p("db")).ok());
  EXPECT_EQ(readAll(path("db")), new_);
  EXPECT_EQ(readAll(path("rep")), new_);
  EXPECT_EQ(platform::fileFacts(p("db"))->mode, 0640u);
  if (root) {
    EXPECT_EQ(platform::fileFacts(p("db"))->uid, 4321u);
  }
  EXPECT_EQ(listing(), QStringList({"db", "rep"}));
  // With no old file, the source's mode.
  chmod("rep", 0604);
  ASSERT_TRUE(platform::replaceFile(p("rep"), p("new")).ok());
  EXPECT_EQ(platform::fileFacts(p("new"))->mode, 0604u);
}

TEST_F(Durable, FailedReplaceKeepsTheOldFileAndNoTemporary) {
  writeAll(path("db"), old_);
  writeAll(path("rep"), new_);
  const struct {
    FileStep step;
    uint64_t offset;
  } faults[] = {{FileStep::OpenSource, 0}, {FileStep::Create, 0}, {FileStep::Write, 256 * 1024},
                {FileStep::Metadata, 0},   {FileStep::Sync, 0},   {FileStep::Verify, 0},
                {FileStep::Rename, 0}};
  for (const auto& f : faults) {
    platform::setFileFaultHook(apptest::failAt(f.step, EIO, f.offset));
    const platform::FileResult r = platform::replaceFile(p("rep"), p("db"));
    EXPECT_EQ(r.failedStep, f.step) << r.message;
    EXPECT_EQ(readAll(path("db")), old_) << "after " << r.message;
    EXPECT_EQ(listing(), QStringList({"db", "rep"})) << "after " << r.message;
  }
  // After the rename only the folder's flush can fail: the file is new.
  platform::setFileFaultHook(apptest::failAt(FileStep::SyncFolder, EIO));
  EXPECT_EQ(platform::replaceFile(p("rep"), p("db")).failedStep, FileStep::SyncFolder);
  EXPECT_EQ(readAll(path("db")), new_);
}

// Runs one replacement in a child process and kills it after delay. Returns
// true when the child ended by itself before the kill.
bool replaceAndKill(const std::string& src, const std::string& target,
                    std::chrono::microseconds delay) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(platform::replaceFile(src, target).ok() ? 0 : 1);
  std::this_thread::sleep_for(delay);
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status);
}

TEST_F(Durable, AKilledReplacementAlwaysLeavesACompleteFile) {
  // Uniform bytes make a torn file (part old, part new) easy to see.
  const QByteArray a(16 * 1024 * 1024, 'A'), b(16 * 1024 * 1024 + 4096, 'B');
  writeAll(path("a"), a);
  writeAll(path("b"), b);
  writeAll(path("db"), a);
  // How long one replacement takes sets the range of the kill moments.
  auto took = std::chrono::microseconds::max();
  for (int i = 0; i < 4; ++i) {
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(platform::replaceFile(p(i % 2 ? "a" : "b"), p("db")).ok());
    took = std::min(took, std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now() - start));
  }
  std::mt19937 gen(20091019);
  std::uniform_int_distribution<long> moment(0, took.count() * 3 / 2);
  int interrupted = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(4);
  for (int round = 0; round < 40 && std::chrono::steady_clock::now() < deadline; ++round) {
    const bool toB = QFileInfo(path("db")).size() == a.size();
    interrupted +=
        !replaceAndKill(p(toB ? "b" : "a"), p("db"), std::chrono::microseconds(moment(gen)));
    const QByteArray now = readAll(path("db"));
    ASSERT_TRUE(now == a || now == b) << "round " << round << ": neither old nor new";
    // A killed run may leave its temporary file; clear it for the next round.
    for (const QString& name : listing().filter(".tmp")) QFile::remove(dir_.filePath(name));
  }
  EXPECT_GT(interrupted, 0) << "no kill landed inside a replacement";
}

}  // namespace
