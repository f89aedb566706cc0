// Durable copies and replacements: what is left on disk after success and
// after a failure at each step.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <random>
#include <set>

#include "platform/DurableFile.h"

namespace {

using platform::FileStep;

std::string randomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::set<std::string> listing(const QTemporaryDir& dir) {
  std::set<std::string> names;
  for (const QString& n :
       QDir(dir.path())
           .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
    names.insert(n.toStdString());
  return names;
}

// Makes one step fail with err; the fault is removed when the test ends.
class FaultAt {
 public:
  FaultAt(FileStep step, int err, uint64_t fromOffset = 0) {
    platform::setFileFaultHook([=](FileStep s, const std::string&, uint64_t offset) {
      return s == step && offset >= fromOffset ? err : 0;
    });
  }
  ~FaultAt() { platform::setFileFaultHook({}); }
};

class DurableFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    // Several chunks and a ragged end.
    oldBytes_ = randomBytes(1024 * 1024 + 17, 1);
    newBytes_ = randomBytes(700 * 1024 + 3, 2);
  }
  std::string path(const char* name) const { return dir_.filePath(name).toStdString(); }

  QTemporaryDir dir_;
  std::string oldBytes_, newBytes_;
};

TEST_F(DurableFileTest, PathIsFreeOnlyWhenNothingIsThere) {
  EXPECT_TRUE(platform::pathIsFree(path("none")));
  writeFile(path("file"), "x");
  EXPECT_FALSE(platform::pathIsFree(path("file")));
  ASSERT_EQ(::mkdir(path("folder").c_str(), 0755), 0);
  EXPECT_FALSE(platform::pathIsFree(path("folder")));
  ASSERT_EQ(::symlink(path("missing").c_str(), path("dangling").c_str()), 0);
  EXPECT_FALSE(platform::pathIsFree(path("dangling")));
  // A path through a plain file is not "nothing there", it is unusable.
  EXPECT_FALSE(platform::pathIsFree(path("file") + "/below"));
}

TEST_F(DurableFileTest, CopyKeepsBytesModeAndModificationTime) {
  writeFile(path("src"), oldBytes_);
  ASSERT_EQ(::chmod(path("src").c_str(), 0640), 0);
  const struct timespec times[2] = {{1000000000, 5}, {1234567890, 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path("src").c_str(), times, 0), 0);

  platform::FileResult r = platform::copyToNewFile(path("src"), path("dst"));
  ASSERT_TRUE(r.ok()) << r.message;
  EXPECT_EQ(readFile(path("dst")), oldBytes_);
  auto facts = platform::fileFacts(path("dst"));
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->mode, 0640u);
  EXPECT_EQ(facts->mtimeNs, 1234567890LL * 1000000000 + 123456789);
  EXPECT_TRUE(platform::sameContents(path("src"), path("dst")));
}

TEST_F(DurableFileTest, CopyNeverWritesThroughAnExistingName) {
  writeFile(path("src"), oldBytes_);
  writeFile(path("dst"), "keep me");
  platform::FileResult r = platform::copyToNewFile(path("src"), path("dst"));
  EXPECT_TRUE(r.alreadyExists()) << r.message;
  EXPECT_EQ(readFile(path("dst")), "keep me");

  // A dangling link must not be followed to create its target.
  ASSERT_EQ(::symlink(path("elsewhere").c_str(), path("link").c_str()), 0);
  r = platform::copyToNewFile(path("src"), path("link"));
  EXPECT_FALSE(r.ok());
  EXPECT_TRUE(platform::pathIsFree(path("elsewhere")));
  EXPECT_FALSE(platform::pathIsFree(path("link")));
}

TEST_F(DurableFileTest, FailedCopyLeavesNothingBehind) {
  writeFile(path("src"), oldBytes_);
  const struct {
    FileStep step;
    uint64_t offset;
  } faults[] = {{FileStep::Write, 512 * 1024},
                {FileStep::Metadata, 0},
                {FileStep::Sync, 0},
                {FileStep::Verify, 0},
                {FileStep::SyncFolder, 0}};
  for (const auto& f : faults) {
    FaultAt fault(f.step, ENOSPC, f.offset);
    platform::FileResult r = platform::copyToNewFile(path("src"), path("dst"));
    EXPECT_EQ(r.failedStep, f.step) << r.message;
    EXPECT_EQ(r.errnum, ENOSPC);
    EXPECT_NE(r.message.find("No space left on device"), std::string::npos) << r.message;
    EXPECT_EQ(listing(dir_), std::set<std::string>{"src"}) << "after " << r.message;
    EXPECT_EQ(readFile(path("src")), oldBytes_);
  }
}

TEST_F(DurableFileTest, CopyRefusesMissingOrUnusualSources) {
  EXPECT_EQ(platform::copyToNewFile(path("missing"), path("dst")).failedStep, FileStep::OpenSource);
  ASSERT_EQ(::mkdir(path("folder").c_str(), 0755), 0);
  EXPECT_EQ(platform::copyToNewFile(path("folder"), path("dst")).failedStep, FileStep::OpenSource);
  ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0644), 0);
  // Would block forever if the source were opened for a plain read.
  EXPECT_EQ(platform::copyToNewFile(path("fifo"), path("dst")).failedStep, FileStep::OpenSource);
  EXPECT_TRUE(platform::pathIsFree(path("dst")));
}

TEST_F(DurableFileTest, ReplaceInstallsNewBytesWithOldMode) {
  writeFile(path("db"), oldBytes_);
  writeFile(path("rep"), newBytes_);
  ASSERT_EQ(::chmod(path("db").c_str(), 0640), 0);
  ASSERT_EQ(::chmod(path("rep").c_str(), 0600), 0);

  platform::FileResult r = platform::replaceFile(path("rep"), path("db"));
  ASSERT_TRUE(r.ok()) << r.message;
  EXPECT_EQ(readFile(path("db")), newBytes_);
  EXPECT_EQ(readFile(path("rep")), newBytes_);
  EXPECT_EQ(platform::fileFacts(path("db"))->mode, 0640u);
  EXPECT_EQ(listing(dir_), (std::set<std::string>{"db", "rep"}));
}

TEST_F(DurableFileTest, ReplaceKeepsOwnerWhereAllowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file away";
  writeFile(path("db"), oldBytes_);
  writeFile(path("rep"), newBytes_);
  ASSERT_EQ(::chown(path("db").c_str(), 4321, 8765), 0);
  ASSERT_TRUE(platform::replaceFile(path("rep"), path("db")).ok());
  EXPECT_EQ(platform::fileFacts(path("db"))->uid, 4321u);
  EXPECT_EQ(platform::fileFacts(path("db"))->gid, 8765u);
}

TEST_F(DurableFileTest, FailedReplaceKeepsOldFileAndNoTemporary) {
  writeFile(path("db"), oldBytes_);
  writeFile(path("rep"), newBytes_);
  const struct {
    FileStep step;
    uint64_t offset;
  } faults[] = {{FileStep::OpenSource, 0}, {FileStep::Create, 0}, {FileStep::Write, 256 * 1024},
                {FileStep::Metadata, 0},   {FileStep::Sync, 0},   {FileStep::Verify, 0},
                {FileStep::Rename, 0}};
  for (const auto& f : faults) {
    FaultAt fault(f.step, EIO, f.offset);
    platform::FileResult r = platform::replaceFile(path("rep"), path("db"));
    EXPECT_EQ(r.failedStep, f.step) << r.message;
    EXPECT_EQ(readFile(path("db")), oldBytes_) << "after " << r.message;
    EXPECT_EQ(listing(dir_), (std::set<std::string>{"db", "rep"})) << "after " << r.message;
  }
}

TEST_F(DurableFileTest, ReplaceAsksOnceMoreAfterTheCopy) {
  writeFile(path("db"), oldBytes_);
  writeFile(path("rep"), newBytes_);
  int asked = 0;
  platform::FileResult r = platform::replaceFile(path("rep"), path("db"), [&] {
    ++asked;
    // Asked when the copy is complete, just before the rename.
    std::set<std::string> names = listing(dir_);
    EXPECT_EQ(names.size(), 3u);
    for (const std::string& n : names)
      if (n != "db" && n != "rep") {
        EXPECT_EQ(readFile(path(n.c_str())), newBytes_);
      }
    return false;
  });
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(r.failedStep, FileStep::Rename);
  EXPECT_EQ(r.errnum, ECANCELED);
  EXPECT_EQ(readFile(path("db")), oldBytes_);
  EXPECT_EQ(listing(dir_), (std::set<std::string>{"db", "rep"}));

  EXPECT_TRUE(platform::replaceFile(path("rep"), path("db"), [] { return true; }).ok());
  EXPECT_EQ(readFile(path("db")), newBytes_);
}

TEST_F(DurableFileTest, FolderFlushFailureAfterRenameIsReportedButFileIsNew) {
  writeFile(path("db"), oldBytes_);
  writeFile(path("rep"), newBytes_);
  FaultAt fault(FileStep::SyncFolder, EIO);
  platform::FileResult r = platform::replaceFile(path("rep"), path("db"));
  EXPECT_EQ(r.failedStep, FileStep::SyncFolder);
  EXPECT_EQ(readFile(path("db")), newBytes_);
  EXPECT_EQ(listing(dir_), (std::set<std::string>{"db", "rep"}));
}

TEST_F(DurableFileTest, ReplaceCreatesMissingTargetWithSourceMode) {
  writeFile(path("rep"), newBytes_);
  ASSERT_EQ(::chmod(path("rep").c_str(), 0604), 0);
  ASSERT_TRUE(platform::replaceFile(path("rep"), path("db")).ok());
  EXPECT_EQ(readFile(path("db")), newBytes_);
  EXPECT_EQ(platform::fileFacts(path("db"))->mode, 0604u);
}

TEST_F(DurableFileTest, SameContentsComparesEveryByte) {
  std::string a = oldBytes_, b = oldBytes_;
  b[b.size() - 1] ^= 1;
  writeFile(path("a"), a);
  writeFile(path("b"), b);
  writeFile(path("c"), a);
  writeFile(path("short"), a.substr(0, a.size() - 1));
  EXPECT_TRUE(platform::sameContents(path("a"), path("c")));
  EXPECT_FALSE(platform::sameContents(path("a"), path("b")));
  EXPECT_FALSE(platform::sameContents(path("a"), path("short")));
  EXPECT_FALSE(platform::sameContents(path("a"), path("missing")));
}

}  // namespace
