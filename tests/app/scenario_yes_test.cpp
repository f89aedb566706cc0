// A whole run on a real Jet file, answered "Yes" twice: optimize, back up,
// replace. The window's handlers are driven directly and the timer tick by
// tick, so texts and tick counts can be checked exactly.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "forms/frmMain.h"
#include "platform/Clock.h"
#include "support/AppTesting.h"
#include "support/MsgBoxRecorder.h"

namespace {

using apptest::readAll;

class ScenarioYes : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    folder_ = dir_.path() + "/";
    ASSERT_TRUE(QFile::copy(LW_SOURCE_DIR "/demo/Ledgerwick.mdb", db()));
    original_ = readAll(db());
    ASSERT_GT(original_.size(), 0);
    platform::setClockHook([] { return QDate(2009, 9, 19); });
    // The test is the clock: no real tick may arrive while it waits.
    form_.Timer1->setInterval(24 * 3600 * 1000);
    form_.txtFilePath->setText(folder_);
  }
  void TearDown() override { platform::setClockHook({}); }

  QString db() const { return folder_ + "Ledgerwick.mdb"; }
  QString rep() const { return folder_ + "_Repaired.mdb"; }

  // Presses "Optimize" and waits for the compaction to finish.
  void optimize() {
    form_.cmdCompactRepair_Click();
    QElapsedTimer waited;
    waited.start();
    while (form_.compactionRunning() && waited.elapsed() < 60000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_FALSE(form_.compactionRunning()) << "compaction did not finish";
    ASSERT_TRUE(QFile::exists(rep()));
  }

  // Delivers ticks while the timer runs; returns how many it took to stop.
  int ticksUntilTimerStops() {
    int ticks = 0;
    while (form_.Timer1->isActive() && ticks < 100) {
      form_.Timer1_Timer();
      ++ticks;
    }
    return ticks;
  }

  void expectIdleButtons() {
    EXPECT_TRUE(form_.cmdYes->isHidden());
    EXPECT_TRUE(form_.cmdNo->isHidden());
    EXPECT_FALSE(form_.cmdCompactRepair->isHidden());
    EXPECT_FALSE(form_.cmdExit->isHidden());
    EXPECT_TRUE(form_.Command1->isEnabled());
    EXPECT_TRUE(form_.cmdExit->isEnabled());
  }

  QTemporaryDir dir_;
  QString folder_;
  QByteArray original_;
  frmMain form_;
};

TEST_F(ScenarioYes, BackupThenReplaceOnARealDatabase) {
  MsgBoxRecorder boxes;
  optimize();
  // Ten ticks fill the bar, the eleventh ends the compaction stage, the
  // fifteenth asks the first question.
  EXPECT_EQ(ticksUntilTimerStops(), 15);
  EXPECT_EQ(form_.lblProgress->text(), "Back-up original database file?");
  EXPECT_FALSE(form_.cmdYes->isHidden());

  form_.cmdYes_Click();
  EXPECT_EQ(form_.lblProgress->text(), "Backup file LW_20090919_1.mdb created");
  EXPECT_EQ(readAll(folder_ + "LW_20090919_1.mdb"), original_);
  EXPECT_EQ(ticksUntilTimerStops(), 5);
  EXPECT_EQ(form_.lblProgress->text(), "Overwrite Ledgerwick.mdb with Repaired.mdb?");
  EXPECT_TRUE(form_.cmdYes->isEnabled());

  const QByteArray repaired = readAll(rep());
  ASSERT_NE(repaired, original_) << "the replacement below would prove nothing";
  form_.cmdYes_Click();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "Process Complete");
  EXPECT_EQ(form_.lblProgress->text(), "");
  EXPECT_EQ(readAll(db()), repaired);
  EXPECT_EQ(readAll(rep()), repaired);
  EXPECT_EQ(readAll(folder_ + "LW_20090919_1.mdb"), original_);
  EXPECT_EQ(QDir(folder_).entryList(QDir::Files | QDir::Hidden, QDir::Name),
            QStringList({"LW_20090919_1.mdb", "Ledgerwick.mdb", "_Repaired.mdb"}));
  expectIdleButtons();
  EXPECT_FALSE(form_.cmdCompactRepair->isEnabled());
}

TEST_F(ScenarioYes, DatabaseChangedBeforeTheReplaceIsKept) {
  MsgBoxRecorder boxes;
  optimize();
  ticksUntilTimerStops();
  form_.cmdYes_Click();
  ticksUntilTimerStops();

  // The host program writes to its database while the question is open.
  QByteArray changed = original_;
  changed[changed.size() - 1] = static_cast<char>(changed[changed.size() - 1] ^ 0x5a);
  {
    QFile f(db());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(changed);
  }
  form_.cmdYes_Click();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_TRUE(boxes.boxes[0].text.contains("changed")) << boxes.boxes[0].text.toStdString();
  EXPECT_EQ(readAll(db()), changed);
  expectIdleButtons();
}

}  // namespace
