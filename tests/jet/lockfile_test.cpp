// The ".ldb" test: a database is in use while some process holds a user
// lock (0x10000001..0x100000FF) on its lock file; a lock file nobody locks
// is stale and means nothing.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "jet/Engine.h"
#include "jet/db/LockFile.h"
#include "jet/support/jet_testing.h"

namespace {

TEST(LockFile, PathBesideTheDatabase) {
  EXPECT_EQ(jet::lockFilePath("/data/Ledgerwick.mdb"), "/data/Ledgerwick.ldb");
  EXPECT_EQ(jet::lockFilePath("rel/a.b.mdb"), "rel/a.b.ldb");
  EXPECT_EQ(jet::lockFilePath("/data.d/noext"), "/data.d/noext.ldb");
  EXPECT_EQ(jet::lockFilePath("trailingdot."), "trailingdot..ldb");
}

// Holds a user lock from a child process until the returned pipe is closed.
class LockHolder {
 public:
  LockHolder(const std::string& ldb, off_t offset) {
    int ready[2];
    if (::pipe(ready) != 0 || ::pipe(release_) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      // Keep only the ends this side uses, so the parent's close is seen as EOF.
      ::close(ready[0]);
      ::close(release_[1]);
      const int fd = ::open(ldb.c_str(), O_RDWR);
      struct flock l {};
      l.l_type = F_WRLCK;
      l.l_whence = SEEK_SET;
      l.l_start = offset;
      l.l_len = 1;
      const char ok = (fd >= 0 && ::fcntl(fd, F_SETLK, &l) == 0) ? 'y' : 'n';
      (void)!::write(ready[1], &ok, 1);
      char c;
      (void)!::read(release_[0], &c, 1);
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release_[0]);
    char ok = 'n';
    (void)!::read(ready[0], &ok, 1);
    locked_ = ok == 'y';
    ::close(ready[0]);
  }
  ~LockHolder() {
    ::close(release_[1]);
    int status;
    ::waitpid(pid_, &status, 0);
  }
  bool locked() const { return locked_; }

 private:
  pid_t pid_ = -1;
  int release_[2];
  bool locked_ = false;
};

class InUse : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = tmp_.file("Ledger.mdb");
    std::filesystem::copy_file(jettest::fixture("jackcess-V2000-delTestV2000.mdb"), db_);
    ldb_ = tmp_.file("Ledger.ldb");
  }
  jettest::TempDir tmp_;
  std::string db_, ldb_;
};

TEST_F(InUse, NoLockFileMeansNotInUse) { EXPECT_FALSE(jet::isInUse(db_)); }

TEST_F(InUse, StaleLockFileMeansNotInUse) {
  jettest::writeFile(ldb_, std::vector<uint8_t>(64, 'x'));
  EXPECT_FALSE(jet::isInUse(db_));
  EXPECT_FALSE(jet::describe(db_, "").inUse);
  EXPECT_TRUE(jet::check(db_, "").clean());
}

TEST_F(InUse, UserLockHeldByAnotherProcess) {
  jettest::writeFile(ldb_, std::vector<uint8_t>(64, 'x'));
  for (off_t slot : {0x10000001, 0x10000080, 0x100000FF}) {
    LockHolder holder(ldb_, slot);
    ASSERT_TRUE(holder.locked());
    EXPECT_TRUE(jet::isInUse(db_)) << std::hex << slot;
  }
  EXPECT_FALSE(jet::isInUse(db_)) << "released when the other program closes";
}

TEST_F(InUse, LocksOutsideTheUserRangeDoNotCount) {
  jettest::writeFile(ldb_, std::vector<uint8_t>(64, 'x'));
  LockHolder page(ldb_, 0x10000100);  // past the 255 user locks
  ASSERT_TRUE(page.locked());
  EXPECT_FALSE(jet::isInUse(db_));
}

TEST_F(InUse, CheckAndInfoWarn) {
  jettest::writeFile(ldb_, std::vector<uint8_t>(64, 'x'));
  LockHolder holder(ldb_, 0x10000001);
  ASSERT_TRUE(holder.locked());
  EXPECT_TRUE(jet::describe(db_, "").inUse);
  const jet::CheckReport report = jet::check(db_, "");
  EXPECT_TRUE(report.inUse);
  EXPECT_FALSE(report.clean());

  const auto info = jettest::run({jettest::jetdbPath(), "info", db_});
  EXPECT_EQ(info.exitCode, 0);
  EXPECT_NE(info.err.find("warning"), std::string::npos) << info.err;
  const auto check = jettest::run({jettest::jetdbPath(), "check", db_, "--json"});
  EXPECT_EQ(check.exitCode, 1);
  EXPECT_TRUE(jettest::parseJson(check.out)["inUse"].boolean);
}

// Runs f as another user when we are root (the lock file then belongs to
// someone else), else as ourselves with the lock file unreadable to us.
// Returns f's result, or -1 when f threw something else than jet::Error.
int errorAsOtherUser(const std::string& dir, const std::string& ldb, int (*f)(const std::string&),
                     const std::string& arg) {
  ::chmod(ldb.c_str(), 0600);
  if (::geteuid() != 0) {
    ::chmod(ldb.c_str(), 0000);
    return f(arg);
  }
  ::chmod(dir.c_str(), 0755);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(200);
    ::_exit(f(arg));
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int inUseError(const std::string& db) {
  try {
    return jet::isInUse(db) ? 1 : 0;
  } catch (const jet::Error& e) {
    return e.number() == 3051 ? 51 : 99;
  }
}

int compactError(const std::string& db) {
  try {
    jet::compactDatabase(db, db + ".out", "");
    return 0;
  } catch (const jet::Error& e) {
    return e.number() == 3051 ? 51 : 99;
  }
}

TEST_F(InUse, LockFileWeCannotReadIsNeverTakenAsFree) {
  jettest::writeFile(ldb_, std::vector<uint8_t>(64, 'x'));
  LockHolder holder(ldb_, 0x10000001);
  ASSERT_TRUE(holder.locked());
  EXPECT_EQ(errorAsOtherUser(tmp_.path(), ldb_, inUseError, db_), 51);
  EXPECT_EQ(errorAsOtherUser(tmp_.path(), ldb_, compactError, db_), 51);
  EXPECT_FALSE(std::filesystem::exists(db_ + ".out"));
}

TEST_F(InUse, SymlinkedDatabaseIsJudgedByTheLockBesideItsTarget) {
  jettest::TempDir elsewhere;
  const std::string link = elsewhere.file("Ledger.mdb");
  std::filesystem::create_symlink(db_, link);
  jettest::writeFile(ldb_, std::vector<uint8_t>(64, 'x'));
  LockHolder holder(ldb_, 0x10000001);
  ASSERT_TRUE(holder.locked());
  EXPECT_TRUE(jet::isInUse(link));
  try {
    jet::compactDatabase(link, elsewhere.file("out.mdb"), "");
    ADD_FAILURE() << "compacted a database in use";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), 3045);
  }
  EXPECT_FALSE(std::filesystem::exists(elsewhere.file("out.mdb")));
}

TEST_F(InUse, LockFileThatIsAFifoDoesNotBlock) {
  ASSERT_EQ(::mkfifo(ldb_.c_str(), 0600), 0);
  EXPECT_FALSE(jet::isInUse(db_));
}

}  // namespace
