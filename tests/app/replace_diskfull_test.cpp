// Backup and replacement on a real full disk and in a real read-only folder
// (a small tmpfs). Needs the right to mount; skipped where it is missing.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include "forms/frmMain.h"
#include "modules/Module3.h"
#include "modules/modBackup.h"
#include "platform/Clock.h"
#include "support/AppTesting.h"
#include "support/MsgBoxRecorder.h"

namespace {

using apptest::readAll;
using apptest::writeAll;

// A 1 MiB tmpfs holding a 600 KB database and a 300 KB repaired copy: no
// room for a backup of the database nor for a second copy of the repaired one.
class FullDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    mountPoint_ = QFile::encodeName(dir_.path()).toStdString();
    if (::mount("tmpfs", mountPoint_.c_str(), "tmpfs", 0, "size=1m") != 0)
      GTEST_SKIP() << "cannot mount a tmpfs here";
    mounted_ = true;
    folder_ = dir_.path() + "/";
    old_ = QByteArray(600 * 1024, 'o');
    repaired_ = QByteArray(300 * 1024, 'r');
    ASSERT_TRUE(writeAll(folder_ + "Ledgerwick.mdb", old_));
    ASSERT_TRUE(writeAll(folder_ + "_Repaired.mdb", repaired_));
    Module3::RememberCompaction(folder_ + "Ledgerwick.mdb", folder_ + "_Repaired.mdb");
    form_.txtFilePath->setText(folder_);
    platform::setClockHook([] { return QDate(2009, 9, 19); });
  }
  void TearDown() override {
    platform::setClockHook({});
    if (mounted_) ::umount2(mountPoint_.c_str(), MNT_DETACH);
  }
  void makeReadOnly() {
    ASSERT_EQ(::mount(nullptr, mountPoint_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=1m"), 0);
  }
  QStringList listing() const {
    return QDir(folder_).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                   QDir::Name);
  }
  void expectBackupRefused() {
    modBackup::BackupDatabase(form_);
    form_.Timer1->stop();
    EXPECT_EQ(form_.lblProgress->text(), "Could not create backup file");
    EXPECT_EQ(listing(), QStringList({"Ledgerwick.mdb", "_Repaired.mdb"}));
    EXPECT_EQ(readAll(folder_ + "Ledgerwick.mdb"), old_);
  }
  void expectReplaceRefused() {
    MsgBoxRecorder boxes;
    Module3::ReplaceDatabase(form_);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Could not remove Ledgerwick.mdb for replacement");
    EXPECT_EQ(readAll(folder_ + "Ledgerwick.mdb"), old_);
    EXPECT_EQ(listing(), QStringList({"Ledgerwick.mdb", "_Repaired.mdb"}));
  }

  QTemporaryDir dir_;
  std::string mountPoint_;
  bool mounted_ = false;
  QString folder_;
  QByteArray old_, repaired_;
  frmMain form_;
};

TEST_F(FullDisk, NoPartialBackupAndNoHalfReplacedDatabase) {
  expectBackupRefused();
  expectReplaceRefused();
  // Room made, the same replacement goes through.
  ASSERT_TRUE(writeAll(folder_ + "_Repaired.mdb", repaired_.left(100 * 1024)));
  Module3::RememberCompaction(folder_ + "Ledgerwick.mdb", folder_ + "_Repaired.mdb");
  MsgBoxRecorder boxes;
  Module3::ReplaceDatabase(form_);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "Process Complete");
  EXPECT_EQ(readAll(folder_ + "Ledgerwick.mdb"), repaired_.left(100 * 1024));
}

TEST_F(FullDisk, ReadOnlyFolderChangesNothing) {
  makeReadOnly();
  expectBackupRefused();
  expectReplaceRefused();
}

}  // namespace
