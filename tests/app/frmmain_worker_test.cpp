// The compaction's worker thread: the window keeps ticking while the engine
// works, a cancelled or failed engine leaves no half-written copy behind.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "forms/frmMain.h"
#include "modules/Module2.h"
#include "platform/DBEngine.h"
#include "support/AppTesting.h"
#include "support/ButtonStates.h"
#include "support/MsgBoxRecorder.h"

namespace {

using namespace std::chrono_literals;

void writePartial(const std::string& dst) {
  std::ofstream(dst, std::ios::binary) << "half a database";
}

class Worker : public ::testing::Test {
 protected:
  void SetUp() override {
    Module2::iStage = 0;
    Module2::bCompacted = false;
    ASSERT_TRUE(QFile(folder() + "Ledgerwick.mdb").open(QIODevice::WriteOnly));
    w.Form_Load();
    w.txtFilePath->setText(folder());
  }
  void TearDown() override {
    release = true;
    apptest::waitUntil([&] { return !w.compactionRunning(); }, 5000);
    platform::setCompactHook({});
  }
  QString folder() const { return startup.root() + "/"; }
  QString repaired() const { return folder() + "_Repaired.mdb"; }

  apptest::IsolatedStartup startup;
  MsgBoxRecorder boxes;
  frmMain w;
  std::atomic<bool> release{false};
  std::atomic<bool> cancelSeen{false};
};

TEST_F(Worker, BarFillsWhileTheEngineIsBusyAndWaitsForIt) {
  platform::setCompactHook([this](const std::string&, const std::string& dst,
                                  const std::string& connect, const jet::Progress& progress) {
    EXPECT_EQ(connect, ";pwd=m0ssb4nk7q");
    writePartial(dst);
    while (!release) {
      if (progress && !progress(0.5)) throw jet::Error(3049, "cancelled");
      std::this_thread::sleep_for(2ms);
    }
    std::ofstream(dst, std::ios::binary) << "a whole database";
  });
  w.Timer1->setInterval(5);
  w.cmdCompactRepair_Click();
  // Real timer ticks reach the window while the engine is still at work.
  ASSERT_TRUE(apptest::waitUntil([&] { return w.ProgressBar->value() == 100; }, 5000));
  apptest::waitUntil([] { return false; }, 100);
  EXPECT_TRUE(w.compactionRunning());
  EXPECT_EQ(Module2::iStage, 1);
  EXPECT_FALSE(Module2::bCompacted);
  EXPECT_EQ(w.lblProgress->text(), "Optimizing Database");
  EXPECT_EQ(ButtonStates::of(w), phase::running);

  release = true;
  ASSERT_TRUE(apptest::waitUntil([&] { return Module2::iStage == 2; }, 5000));
  EXPECT_TRUE(Module2::bCompacted);
  EXPECT_EQ(w.lblProgress->text(), "Optimization Complete");
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Worker, ClosingCancelsTheEngineAndRemovesItsHalfCopy) {
  platform::setCompactHook([this](const std::string&, const std::string& dst, const std::string&,
                                  const jet::Progress& progress) {
    writePartial(dst);  // an engine that does not clean up after itself
    while (progress(0.1)) std::this_thread::sleep_for(1ms);
    cancelSeen = true;
    throw jet::Error(3049, "cancelled");
  });
  w.cmdCompactRepair_Click();
  ASSERT_TRUE(apptest::waitUntil([&] { return QFile::exists(repaired()); }, 5000));
  w.close();
  EXPECT_TRUE(cancelSeen);
  EXPECT_FALSE(w.compactionRunning());
  EXPECT_FALSE(QFile::exists(repaired()));
  apptest::waitUntil([] { return false; }, 50);
  EXPECT_TRUE(boxes.boxes.empty()) << "closing is no error";
}

TEST_F(Worker, EngineFailureRemovesItsHalfCopy) {
  platform::setCompactHook(
      [](const std::string&, const std::string& dst, const std::string&, const jet::Progress&) {
        writePartial(dst);
        throw jet::Error(3026, "Not enough space on disk.");
      });
  w.cmdCompactRepair_Click();
  ASSERT_TRUE(apptest::waitUntil([&] { return !w.compactionRunning(); }));
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].title, "Error");
  EXPECT_TRUE(boxes.boxes[0].text.contains("3026"));
  EXPECT_TRUE(boxes.boxes[0].text.contains("Not enough space on disk."));
  EXPECT_FALSE(QFile::exists(repaired()));
  EXPECT_EQ(ButtonStates::of(w), phase::idle);
}

TEST_F(Worker, UnexpectedExceptionIsReportedToo) {
  platform::setCompactHook([](const std::string&, const std::string&, const std::string&,
                              const jet::Progress&) { throw std::bad_alloc(); });
  w.cmdCompactRepair_Click();
  ASSERT_TRUE(apptest::waitUntil([&] { return !w.compactionRunning(); }));
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].title, "Error");
  EXPECT_EQ(ButtonStates::of(w), phase::idle);
  EXPECT_EQ(startup.ends, 0);
}

TEST_F(Worker, DatabaseWrittenWhileCompactingIsNotReplaced) {
  // The host program writes to the database while the engine reads it: the
  // repaired copy lacks that write, so it must not take the database's place.
  platform::setCompactHook(
      [](const std::string& src, const std::string& dst, const std::string&, const jet::Progress&) {
        std::ofstream(dst, std::ios::binary) << "a whole database";
        std::ofstream(src, std::ios::binary | std::ios::app) << "written by the host meanwhile";
      });
  w.cmdCompactRepair_Click();
  ASSERT_TRUE(apptest::waitUntil([&] { return Module2::bCompacted; }, 5000));
  Module2::iStage = 3;  // straight to the answer of the replace question
  w.cmdYes_Click();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_NE(boxes.boxes[0].text, "Process Complete");
  QFile db(folder() + "Ledgerwick.mdb");
  ASSERT_TRUE(db.open(QIODevice::ReadOnly));
  EXPECT_EQ(db.readAll(), QByteArray("written by the host meanwhile"));
}

}  // namespace
