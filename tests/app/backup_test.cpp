// The dated backup made on "Yes" to the backup question: its name, its
// contents, and what it never overwrites.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include "forms/frmMain.h"
#include "modules/Module2.h"
#include "modules/modBackup.h"
#include "platform/Clock.h"
#include "platform/DurableFile.h"
#include "support/AppTesting.h"

namespace {

using apptest::readAll;
using apptest::writeAll;

QStringList backups(const QString& folder) {
  return QDir(folder).entryList({"LW_*"}, QDir::AllEntries | QDir::System | QDir::Hidden,
                                QDir::Name);
}

class BackupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    folder_ = dir_.path() + "/";
    database_ = QByteArray("Standard Jet DB ") + QByteArray(300000, 'x') + "end";
    writeAll(folder_ + "Ledgerwick.mdb", database_);
    today_ = QDate(2009, 9, 19);
    platform::setClockHook([this] { return today_; });
    form_.txtFilePath->setText(folder_);
    Module2::iStage = 2;
    Module2::iTicks = 9;
  }
  void TearDown() override {
    platform::setClockHook({});
    platform::setFileFaultHook({});
  }

  // Runs the backup and checks that the sequence moves on to the replace
  // question whatever the outcome. Returns the status line.
  QString backup() {
    form_.Timer1->stop();
    modBackup::BackupDatabase(form_);
    EXPECT_EQ(Module2::iStage, 3);
    EXPECT_EQ(Module2::iTicks, 0);
    EXPECT_TRUE(form_.Timer1->isActive());
    form_.Timer1->stop();
    return form_.lblProgress->text();
  }

  QTemporaryDir dir_;
  QString folder_;
  QByteArray database_;
  QDate today_;
  frmMain form_;
};

TEST_F(BackupTest, NumbersCountUpOnOneDayAndCopiesAreExact) {
  EXPECT_EQ(backup(), "Backup file LW_20090919_1.mdb created");
  EXPECT_EQ(backup(), "Backup file LW_20090919_2.mdb created");
  EXPECT_EQ(backup(), "Backup file LW_20090919_3.mdb created");
  EXPECT_EQ(backups(folder_),
            QStringList({"LW_20090919_1.mdb", "LW_20090919_2.mdb", "LW_20090919_3.mdb"}));
  for (const QString& name : backups(folder_)) EXPECT_EQ(readAll(folder_ + name), database_);
  EXPECT_EQ(readAll(folder_ + "Ledgerwick.mdb"), database_);
}

TEST_F(BackupTest, KeepsPermissionBitsAndModificationTime) {
  const QString db = folder_ + "Ledgerwick.mdb";
  ASSERT_EQ(::chmod(QFile::encodeName(db).constData(), 0604), 0);
  const struct timespec times[2] = {{1253318400, 0}, {1253318400, 250000000}};
  ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(db).constData(), times, 0), 0);
  backup();
  auto facts = platform::fileFacts(QFile::encodeName(folder_ + "LW_20090919_1.mdb").toStdString());
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->mode, 0604u);
  EXPECT_EQ(facts->mtimeNs, 1253318400LL * 1000000000 + 250000000);
}

TEST_F(BackupTest, LowestGapIsFilledFirst) {
  for (int i = 0; i < 4; ++i) backup();
  ASSERT_TRUE(QFile::remove(folder_ + "LW_20090919_2.mdb"));
  EXPECT_EQ(backup(), "Backup file LW_20090919_2.mdb created");
  EXPECT_EQ(backup(), "Backup file LW_20090919_5.mdb created");
}

TEST_F(BackupTest, NumberingRestartsOnANewDay) {
  backup();
  backup();
  today_ = QDate(2009, 9, 20);
  EXPECT_EQ(backup(), "Backup file LW_20090920_1.mdb created");
  today_ = QDate(2010, 1, 1);
  EXPECT_EQ(backup(), "Backup file LW_20100101_1.mdb created");
}

TEST_F(BackupTest, DateIsReadOnceSoMidnightCannotMixTwoDays) {
  // Each reading of the clock moves to the next day.
  platform::setClockHook([this] {
    QDate d = today_;
    today_ = today_.addDays(1);
    return d;
  });
  today_ = QDate(2009, 12, 31);
  const QString text = backup();
  EXPECT_TRUE(text == "Backup file LW_20091231_1.mdb created" ||
              text == "Backup file LW_20100101_1.mdb created")
      << text.toStdString();
}

TEST_F(BackupTest, AnythingAtANameTakesIt) {
  const QString name1 = folder_ + "LW_20090919_1.mdb";
  const QString name2 = folder_ + "LW_20090919_2.mdb";
  const QString name3 = folder_ + "LW_20090919_3.mdb";
  const QString elsewhere = folder_ + "elsewhere.mdb";
  ASSERT_TRUE(QDir().mkdir(name1));
  ASSERT_EQ(::symlink(QFile::encodeName(elsewhere).constData(), QFile::encodeName(name2)), 0);
  writeAll(name3, "someone's file");
  ASSERT_EQ(::chmod(QFile::encodeName(name3).constData(), 0), 0);

  EXPECT_EQ(backup(), "Backup file LW_20090919_4.mdb created");
  EXPECT_TRUE(QFileInfo(name1).isDir());
  EXPECT_FALSE(QFile::exists(elsewhere)) << "the dangling link was written through";
  ASSERT_EQ(::chmod(QFile::encodeName(name3).constData(), 0644), 0);
  EXPECT_EQ(readAll(name3), "someone's file");
}

TEST_F(BackupTest, AllNamesTakenWritesNothing) {
  for (int n = 1; n <= 999; ++n)
    writeAll(folder_ + QString("LW_20090919_%1.mdb").arg(n), QByteArray::number(n));
  EXPECT_EQ(backup(), "Could not create backup file");
  EXPECT_EQ(backups(folder_).size(), 999);
  EXPECT_EQ(readAll(folder_ + "LW_20090919_999.mdb"), "999");
  EXPECT_EQ(QDir(folder_).count(), 999u + 1 + 2);  // the backups, the database, "." and ".."
}

TEST_F(BackupTest, FailedCopyLeavesNoPartialBackup) {
  platform::setFileFaultHook([](platform::FileStep step, const std::string&, uint64_t offset) {
    return step == platform::FileStep::Write && offset > 0 ? ENOSPC : 0;
  });
  EXPECT_EQ(backup(), "Could not create backup file");
  EXPECT_TRUE(backups(folder_).isEmpty());

  platform::setFileFaultHook({});
  ASSERT_TRUE(QFile::remove(folder_ + "Ledgerwick.mdb"));
  EXPECT_EQ(backup(), "Could not create backup file");
  EXPECT_TRUE(backups(folder_).isEmpty());
}

TEST_F(BackupTest, UsesTheFolderInTheBoxWhenYesIsPressed) {
  QTemporaryDir other;
  ASSERT_TRUE(other.isValid());
  writeAll(other.path() + "/Ledgerwick.mdb", "other database");
  form_.txtFilePath->setText(other.path() + "/");
  EXPECT_EQ(backup(), "Backup file LW_20090919_1.mdb created");
  EXPECT_EQ(readAll(other.path() + "/LW_20090919_1.mdb"), "other database");
  EXPECT_TRUE(backups(folder_).isEmpty());
}

}  // namespace
