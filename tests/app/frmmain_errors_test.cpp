// "Optimize" when things go wrong, with the real engine on real files: the
// program tells the user, leaves nothing half-made and returns to idle.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "forms/frmMain.h"
#include "jet/Engine.h"
#include "modules/Module2.h"
#include "modules/fileReady.h"
#include "support/AppTesting.h"
#include "support/ButtonStates.h"
#include "support/MsgBoxRecorder.h"

namespace {

// Makes a file undeletable for as long as it lives: a read-only folder for a
// normal user, the immutable flag for root. Fails quietly where neither works.
class Undeletable {
 public:
  explicit Undeletable(const QString& file) : file_(file), folder_(QFileInfo(file).path()) {
    if (::geteuid() != 0) {
      ok_ = ::chmod(folder_.toLocal8Bit().constData(), 0555) == 0;
      return;
    }
    const int fd = ::open(file_.toLocal8Bit().constData(), O_RDONLY);
    int flags = 0;
    ok_ = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
          ::ioctl(fd, FS_IOC_SETFLAGS, &(flags |= FS_IMMUTABLE_FL)) == 0;
    if (fd >= 0) ::close(fd);
  }
  ~Undeletable() {
    if (::geteuid() != 0) {
      ::chmod(folder_.toLocal8Bit().constData(), 0755);
      return;
    }
    const int fd = ::open(file_.toLocal8Bit().constData(), O_RDONLY);
    int flags = 0;
    if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags &= ~FS_IMMUTABLE_FL;
      ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    if (fd >= 0) ::close(fd);
  }
  bool ok() const { return ok_; }

 private:
  QString file_, folder_;
  bool ok_ = false;
};

class OptimizeFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    Module2::iStage = 0;
    Module2::iTicks = 0;
    Module2::bCompacted = false;
    w.Form_Load();
    w.Timer1->setInterval(24 * 3600 * 1000);
    w.txtFilePath->setText(folder());
  }
  QString folder() const { return startup.root() + "/"; }
  QString database() const { return folder() + "Ledgerwick.mdb"; }
  QString repaired() const { return folder() + "_Repaired.mdb"; }
  void putDatabase(const QString& from) { ASSERT_TRUE(apptest::copyWritable(from, database())); }

  // Presses Optimize and waits for the compaction to come back.
  void optimize() {
    w.cmdCompactRepair_Click();
    ASSERT_TRUE(apptest::waitUntil([&] { return !w.compactionRunning(); }));
  }

  // The state every failed run must end in.
  void expectFailedAndIdle(const QString& errorNumber) {
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, "Error");
    EXPECT_TRUE(boxes.boxes[0].text.contains(errorNumber)) << boxes.boxes[0].text.toStdString();
    EXPECT_EQ(ButtonStates::of(w), phase::idle);
    EXPECT_FALSE(w.Timer1->isActive());
    EXPECT_FALSE(Module2::bCompacted);
    EXPECT_TRUE(w.lblProgress->text().contains("failed")) << w.lblProgress->text().toStdString();
    EXPECT_FALSE(w.txtFilePath->isReadOnly());
    EXPECT_EQ(w.ProgressBar->value(), 0);
    EXPECT_EQ(startup.ends, 0) << "an engine error must not end the program";
  }

  QStringList filesInFolder() const {
    return QDir(startup.root()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  }

  apptest::IsolatedStartup startup;
  MsgBoxRecorder boxes;
  frmMain w;
};

TEST_F(OptimizeFailure, NoDatabaseInTheFolder) {
  optimize();
  expectFailedAndIdle("3024");
  EXPECT_TRUE(boxes.boxes[0].text.contains(database())) << boxes.boxes[0].text.toStdString();
  EXPECT_TRUE(filesInFolder().isEmpty()) << filesInFolder().join(", ").toStdString();
}

TEST_F(OptimizeFailure, WrongPassword) {
  putDatabase(QString(LW_TEST_DATA_DIR) + "/jet/mdbreader-V2000_with-password.mdb");
  optimize();
  expectFailedAndIdle("3031");
  EXPECT_EQ(filesInFolder(), QStringList{"Ledgerwick.mdb"});
}

TEST_F(OptimizeFailure, FileThatIsNoDatabase) {
  QFile f(database());
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QByteArray(8192, 'x'));
  f.close();
  optimize();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_TRUE(boxes.boxes[0].text.contains("3343") || boxes.boxes[0].text.contains("3049"))
      << boxes.boxes[0].text.toStdString();
  boxes.boxes.erase(boxes.boxes.begin() + 1, boxes.boxes.end());
  expectFailedAndIdle("Error");
  EXPECT_EQ(filesInFolder(), QStringList{"Ledgerwick.mdb"});

  // The window is usable again: a good database in the same folder compacts.
  boxes.boxes.clear();
  putDatabase(apptest::demoDatabase());
  optimize();
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_TRUE(Module2::bCompacted);
  EXPECT_TRUE(fileReady::FileExists(repaired()));
}

TEST_F(OptimizeFailure, LeftoverThatCannotBeRemovedRefusesTheRun) {
  putDatabase(apptest::demoDatabase());
  QFile leftover(repaired());
  ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
  leftover.write("old");
  leftover.close();
  Undeletable pin(repaired());
  if (!pin.ok()) GTEST_SKIP() << "cannot make a file undeletable here";
  Module2::iStage = 3;  // from an earlier run
  w.cmdCompactRepair_Click();
  EXPECT_FALSE(w.compactionRunning());
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "Please remove " + repaired() + " before continuing");
  EXPECT_EQ(boxes.boxes[0].title, "Error");
  EXPECT_EQ(w.lblProgress->text(), "Optimizing Database");
  EXPECT_EQ(Module2::iStage, 3);
  EXPECT_FALSE(w.Timer1->isActive());
  EXPECT_EQ(ButtonStates::of(w), phase::idle);
  QFile still(repaired());
  ASSERT_TRUE(still.open(QIODevice::ReadOnly));
  EXPECT_EQ(still.readAll(), "old");
}

TEST_F(OptimizeFailure, LeftoverFolderIsReportedAndKept) {
  putDatabase(apptest::demoDatabase());
  ASSERT_TRUE(QDir(startup.root()).mkpath("_Repaired.mdb/inside"));
  optimize();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  expectFailedAndIdle("Error");
  EXPECT_TRUE(QFileInfo(repaired() + "inside").isDir() ||
              QFileInfo(repaired() + "/inside").isDir());
}

TEST_F(OptimizeFailure, ClosingTheWindowMidRunLeavesNoPartialCopy) {
  putDatabase(apptest::demoDatabase());
  w.cmdCompactRepair_Click();
  ASSERT_TRUE(w.compactionRunning());
  w.close();  // cancels the compaction or waits for it
  EXPECT_FALSE(w.compactionRunning());
  const QStringList files = filesInFolder();
  for (const QString& f : files)
    EXPECT_TRUE(f == "Ledgerwick.mdb" || f == "_Repaired.mdb") << f.toStdString();
  if (files.contains("_Repaired.mdb")) {
    // Only a finished copy may stay: it opens.
    EXPECT_NO_THROW(jet::describe(repaired().toStdString(), ";pwd=m0ssb4nk7q"));
  }
  // A late result does not touch the closed window.
  apptest::waitUntil([] { return false; }, 200);
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST(OptimizeShutdown, DestroyingTheWindowMidRunLeavesNoPartialCopy) {
  apptest::IsolatedStartup startup;
  MsgBoxRecorder boxes;
  const QString folder = startup.root() + "/";
  ASSERT_TRUE(apptest::copyWritable(apptest::demoDatabase(), folder + "Ledgerwick.mdb"));
  {
    frmMain w;
    w.Form_Load();
    w.txtFilePath->setText(folder);
    w.cmdCompactRepair_Click();
    ASSERT_TRUE(w.compactionRunning());
  }
  const QStringList files = QDir(startup.root()).entryList(QDir::Files | QDir::Hidden);
  for (const QString& f : files)
    EXPECT_TRUE(f == "Ledgerwick.mdb" || f == "_Repaired.mdb") << f.toStdString();
  if (files.contains("_Repaired.mdb")) {
    EXPECT_NO_THROW(jet::describe((folder + "_Repaired.mdb").toStdString(), ";pwd=m0ssb4nk7q"));
  }
  apptest::waitUntil([] { return false; }, 200);
  EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
