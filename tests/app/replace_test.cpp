// Replacing the database with the repaired copy on "Yes" to the replace
// question: only what was compacted, atomically, and reported truthfully.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>

#include "forms/frmMain.h"
#include "modules/Module3.h"
#include "platform/DurableFile.h"
#include "support/AppTesting.h"
#include "support/MsgBoxRecorder.h"

namespace {

using apptest::readAll;
using apptest::writeAll;

class ReplaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    folder_ = dir_.path() + "/";
    old_ = QByteArray("old database ") + QByteArray(600000, 'o');
    repaired_ = QByteArray("repaired ") + QByteArray(400000, 'r');
    writeAll(db(), old_);
    writeAll(rep(), repaired_);
    writeAll(folder_ + "LW_20090919_1.mdb", old_);
    Module3::RememberCompaction(db(), rep());
    form_.txtFilePath->setText(folder_);
  }
  void TearDown() override { platform::setFileFaultHook({}); }

  QString db() const { return folder_ + "Ledgerwick.mdb"; }
  QString rep() const { return folder_ + "_Repaired.mdb"; }
  QStringList listing() const {
    return QDir(folder_).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
  }
  // Runs the replacement; returns the texts of the boxes it showed.
  QStringList replace() {
    MsgBoxRecorder boxes;
    Module3::ReplaceDatabase(form_);
    QStringList texts;
    for (const auto& b : boxes.boxes) texts << b.text;
    return texts;
  }
  void expectUntouched(const QStringList& boxes) {
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_NE(boxes[0], "Process Complete");
    EXPECT_EQ(readAll(db()), old_);
    EXPECT_EQ(readAll(rep()), repaired_);
    EXPECT_EQ(listing(), QStringList({"LW_20090919_1.mdb", "Ledgerwick.mdb", "_Repaired.mdb"}));
  }

  QTemporaryDir dir_;
  QString folder_;
  QByteArray old_, repaired_;
  frmMain form_;
};

TEST_F(ReplaceTest, DatabaseBecomesTheRepairedCopy) {
  EXPECT_EQ(replace(), QStringList{"Process Complete"});
  EXPECT_EQ(readAll(db()), repaired_);
  EXPECT_EQ(readAll(rep()), repaired_);
  EXPECT_EQ(listing(), QStringList({"LW_20090919_1.mdb", "Ledgerwick.mdb", "_Repaired.mdb"}));

  // The compaction is used up: a second answer replaces nothing more.
  writeAll(rep(), "something else");
  QStringList again = replace();
  ASSERT_EQ(again.size(), 1);
  EXPECT_NE(again[0], "Process Complete");
  EXPECT_EQ(readAll(db()), repaired_);
}

TEST_F(ReplaceTest, CopyFailingPartWayKeepsOldDatabase) {
  platform::setFileFaultHook([](platform::FileStep step, const std::string&, uint64_t offset) {
    return step == platform::FileStep::Write && offset > 0 ? ENOSPC : 0;
  });
  QStringList boxes = replace();
  EXPECT_EQ(boxes, QStringList{"Could not remove Ledgerwick.mdb for replacement"});
  expectUntouched(boxes);
  EXPECT_EQ(form_.lblProgress->text(), "");
}

TEST_F(ReplaceTest, FailedRenameKeepsOldDatabase) {
  platform::setFileFaultHook([](platform::FileStep step, const std::string&, uint64_t) {
    return step == platform::FileStep::Rename ? EBUSY : 0;
  });
  expectUntouched(replace());
}

TEST_F(ReplaceTest, ChangedDatabaseIsNotReplaced) {
  // Same size, same modification time: only the contents tell.
  auto facts = platform::fileFacts(QFile::encodeName(db()).toStdString());
  QByteArray changed = old_;
  changed[100] = 'X';
  writeAll(db(), changed);
  const struct timespec times[2] = {{0, UTIME_OMIT},
                                    {facts->mtimeNs / 1000000000, facts->mtimeNs % 1000000000}};
  ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(db()).constData(), times, 0), 0);
  old_ = changed;

  QStringList boxes = replace();
  expectUntouched(boxes);
  EXPECT_TRUE(boxes[0].contains("changed since it was optimized")) << boxes[0].toStdString();
}

TEST_F(ReplaceTest, DatabaseTouchedWithoutChangeIsStillRefused) {
  // A newer modification time means something wrote to it.
  auto facts = platform::fileFacts(QFile::encodeName(db()).toStdString());
  const struct timespec times[2] = {{0, UTIME_OMIT},
                                    {facts->mtimeNs / 1000000000 + 1, facts->mtimeNs % 1000000000}};
  ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(db()).constData(), times, 0), 0);
  expectUntouched(replace());
}

TEST_F(ReplaceTest, DatabaseChangedDuringTheCopyIsKept) {
  QByteArray changed = old_;
  changed[7] = '#';
  // The host program writes while the repaired copy is being copied.
  platform::setFileFaultHook([&](platform::FileStep step, const std::string&, uint64_t) {
    if (step == platform::FileStep::Verify) writeAll(db(), changed);
    return 0;
  });
  old_ = changed;
  QStringList boxes = replace();
  expectUntouched(boxes);
  EXPECT_TRUE(boxes[0].contains("changed since it was optimized")) << boxes[0].toStdString();
}

TEST_F(ReplaceTest, DatabaseWrittenDuringTheCompactionIsNotReplaced) {
  Module3::NoteCompactionStart(db());
  // The host program writes while the engine reads; afterwards the file is
  // stable, but the repaired copy does not hold what was written.
  old_ += "appended row";
  writeAll(db(), old_);
  Module3::RememberCompaction(db(), rep());
  expectUntouched(replace());

  // Untouched during the compaction, it is replaced.
  Module3::NoteCompactionStart(db());
  Module3::RememberCompaction(db(), rep());
  EXPECT_EQ(replace(), QStringList{"Process Complete"});
}

TEST_F(ReplaceTest, RepairedCopyNotMadeByThisRunIsRefused) {
  repaired_[5] = '!';
  writeAll(rep(), repaired_);
  QStringList boxes = replace();
  expectUntouched(boxes);
  EXPECT_TRUE(boxes[0].contains("_Repaired.mdb")) << boxes[0].toStdString();
}

TEST_F(ReplaceTest, NothingCompactedNothingReplaced) {
  // Remembering files that are not there leaves no compaction to replace with.
  Module3::RememberCompaction(folder_ + "missing.mdb", rep());
  expectUntouched(replace());
}

TEST_F(ReplaceTest, DatabaseInUseIsNotReplaced) {
  // Another program's user lock in the database's lock file.
  int fd =
      ::open(QFile::encodeName(folder_ + "Ledgerwick.ldb").constData(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0x10000001;
  lock.l_len = 1;
  ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &lock), 0);

  MsgBoxRecorder boxes;
  Module3::ReplaceDatabase(form_);
  ::close(fd);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_TRUE(boxes.boxes[0].text.contains("another program")) << boxes.boxes[0].text.toStdString();
  EXPECT_EQ(readAll(db()), old_);
}

TEST_F(ReplaceTest, UsesTheFolderInTheBoxWhenYesIsPressed) {
  // The box now names a folder this run did not compact.
  QTemporaryDir other;
  ASSERT_TRUE(other.isValid());
  writeAll(other.path() + "/Ledgerwick.mdb", "other");
  writeAll(other.path() + "/_Repaired.mdb", "other repaired");
  form_.txtFilePath->setText(other.path() + "/");
  QStringList boxes = replace();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_NE(boxes[0], "Process Complete");
  EXPECT_EQ(readAll(other.path() + "/Ledgerwick.mdb"), "other");

  // Compacted there, it is replaced there and only there.
  Module3::RememberCompaction(other.path() + "/Ledgerwick.mdb", other.path() + "/_Repaired.mdb");
  EXPECT_EQ(replace(), QStringList{"Process Complete"});
  EXPECT_EQ(readAll(other.path() + "/Ledgerwick.mdb"), "other repaired");
  EXPECT_EQ(readAll(db()), old_);
}

}  // namespace
