// The file test behind FileExists and the delete the workflow uses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "modules/fileReady.h"
#include "platform/FileSystem.h"

namespace {

class Files : public ::testing::Test {
 protected:
  QString path(const QString& name) const { return dir.path() + "/" + name; }
  void write(const QString& name, const QByteArray& bytes) {
    QFile f(path(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  QTemporaryDir dir;
};

TEST_F(Files, ExistsOnlyForARegularFileThatOpens) {
  write("db.mdb", "x");
  EXPECT_TRUE(fileReady::FileExists(path("db.mdb")));
  write("empty.mdb", "");
  EXPECT_TRUE(fileReady::FileExists(path("empty.mdb")));
  ASSERT_EQ(::symlink(path("db.mdb").toLocal8Bit(), path("link.mdb").toLocal8Bit()), 0);
  EXPECT_TRUE(fileReady::FileExists(path("link.mdb")));

  EXPECT_FALSE(fileReady::FileExists(dir.path()));
  EXPECT_FALSE(fileReady::FileExists(dir.path() + "/"));
  EXPECT_FALSE(fileReady::FileExists(""));
  EXPECT_FALSE(fileReady::FileExists(path("missing.mdb")));
  EXPECT_FALSE(fileReady::FileExists(path("db.mdb/")));
  EXPECT_FALSE(fileReady::FileExists(path("db.mdb") + QChar(0) + "x"));
  ASSERT_EQ(::symlink(path("gone.mdb").toLocal8Bit(), path("dangling.mdb").toLocal8Bit()), 0);
  EXPECT_FALSE(fileReady::FileExists(path("dangling.mdb")));
}

TEST_F(Files, FifoAndDevicesAreRefusedWithoutBlocking) {
  ASSERT_EQ(::mkfifo(path("pipe").toLocal8Bit().constData(), 0600), 0);
  QDeadlineTimer deadline(2000);
  EXPECT_FALSE(fileReady::FileExists(path("pipe")));  // no writer: a blocking open would hang
  EXPECT_FALSE(fileReady::FileExists("/dev/null"));
  EXPECT_FALSE(fileReady::FileExists("/dev/zero"));
  EXPECT_FALSE(deadline.hasExpired());
}

TEST_F(Files, UnreadableFileDoesNotExistForUs) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  write("locked.mdb", "x");
  ASSERT_EQ(::chmod(path("locked.mdb").toLocal8Bit().constData(), 0), 0);
  EXPECT_FALSE(fileReady::FileExists(path("locked.mdb")));
}

TEST_F(Files, DeleteReportsWhatWentWrong) {
  write("a.mdb", "x");
  EXPECT_FALSE(platform::DeleteFile(path("a.mdb")).has_value());
  EXPECT_FALSE(QFile::exists(path("a.mdb")));

  auto missing = platform::DeleteFile(path("a.mdb"));
  ASSERT_TRUE(missing.has_value());
  EXPECT_EQ(missing->number, 53);
  EXPECT_TRUE(missing->description.contains(path("a.mdb")));

  // A folder is not deleted as a file.
  ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
  EXPECT_TRUE(platform::DeleteFile(path("sub")).has_value());
  EXPECT_TRUE(QFileInfo(path("sub")).isDir());

  // A dangling link is removed (the link, not its target).
  ASSERT_EQ(::symlink(path("nowhere").toLocal8Bit(), path("dangling").toLocal8Bit()), 0);
  EXPECT_TRUE(platform::PathPresent(path("dangling")));
  EXPECT_FALSE(platform::DeleteFile(path("dangling")).has_value());
  EXPECT_FALSE(platform::PathPresent(path("dangling")));
}

TEST_F(Files, DeleteInAReadOnlyFolderFails) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may delete anywhere";
  ASSERT_TRUE(QDir(dir.path()).mkdir("ro"));
  write("ro/a.mdb", "x");
  ASSERT_EQ(::chmod(path("ro").toLocal8Bit().constData(), 0555), 0);
  auto err = platform::DeleteFile(path("ro/a.mdb"));
  ::chmod(path("ro").toLocal8Bit().constData(), 0755);
  ASSERT_TRUE(err.has_value());
  EXPECT_EQ(err->number, 70);
}

}  // namespace
