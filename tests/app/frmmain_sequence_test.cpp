// The optimize sequence driven through the window's handlers: the stage
// table, the button states of each phase, the folder box and "Browse".
// Stages are entered by setting the sequence state, so no compaction runs here.
#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "forms/frmMain.h"
#include "modules/Module2.h"
#include "modules/browseFolder.h"
#include "platform/FolderPicker.h"
#include "support/AppTesting.h"
#include "support/ButtonStates.h"
#include "support/MsgBoxRecorder.h"

namespace {

class Sequence : public ::testing::Test {
 protected:
  void SetUp() override {
    Module2::iStage = 0;
    Module2::iTicks = 0;
    Module2::bCompacted = false;
    ASSERT_TRUE(apptest::copyWritable(apptest::demoDatabase(), folder() + "Ledgerwick.mdb"));
    w.Form_Load();
    w.txtFilePath->setText(folder());
    // Ticks come only from the test.
    w.Timer1->setInterval(24 * 3600 * 1000);
  }

  QString folder() const { return startup.root() + "/"; }

  // Puts the window where "Optimize" leaves it, without compacting, then moves
  // the sequence to the given stage and tick count.
  void enterStage(int stage, int ticks = 0) {
    w.Command1->setEnabled(false);
    w.cmdCompactRepair->setEnabled(false);
    w.cmdExit->setEnabled(false);
    Module2::iStage = stage;
    Module2::iTicks = ticks;
    w.Timer1->start();
  }
  void enterStage1() { enterStage(1); }

  void tick(int n = 1) {
    for (int i = 0; i < n; ++i) w.Timer1_Timer();
  }

  apptest::IsolatedStartup startup;
  MsgBoxRecorder boxes;
  frmMain w;
};

TEST_F(Sequence, BarFillsThenWaitsForTheCompaction) {
  enterStage1();
  for (int i = 1; i <= 10; ++i) {
    tick();
    EXPECT_EQ(w.ProgressBar->value(), 10 * i);
    EXPECT_EQ(ButtonStates::of(w), phase::running);
  }
  // Full bar, compaction still running: nothing moves.
  tick(3);
  EXPECT_EQ(Module2::iStage, 1);
  EXPECT_EQ(w.ProgressBar->value(), 100);
  EXPECT_TRUE(w.Timer1->isActive());

  Module2::bCompacted = true;
  tick();
  EXPECT_EQ(w.lblProgress->text(), "Optimization Complete");
  EXPECT_EQ(w.ProgressBar->value(), 0);
  EXPECT_FALSE(w.ProgressBar->isHidden());
  EXPECT_EQ(Module2::iStage, 2);
  EXPECT_EQ(Module2::iTicks, 1);  // the stage-2 block ran in the same tick
}

TEST_F(Sequence, YesToTheBackupQuestionAsksAboutReplacingFiveTicksLater) {
  enterStage(2, 4);
  tick();
  w.cmdYes_Click();
  EXPECT_EQ(Module2::iStage, 3);
  EXPECT_EQ(Module2::iTicks, 0);
  EXPECT_TRUE(w.Timer1->isActive());
  for (int i = 1; i <= 4; ++i) {
    tick();
    EXPECT_EQ(ButtonStates::of(w), phase::waitingForReplace) << "tick " << i;
    EXPECT_NE(w.lblProgress->text(), "Overwrite Ledgerwick.mdb with Repaired.mdb?");
  }
  tick();
  EXPECT_EQ(w.lblProgress->text(), "Overwrite Ledgerwick.mdb with Repaired.mdb?");
  EXPECT_EQ(ButtonStates::of(w), phase::replaceQuestion);
}

TEST_F(Sequence, YesToTheReplaceQuestionClearsTheLabelFirst) {
  enterStage(2, 4);
  tick();
  w.cmdNo_Click();
  tick();
  ASSERT_EQ(ButtonStates::of(w), phase::replaceQuestion);
  QStringList labels;
  boxes.onShow = [&](const MsgBoxRecorder::Box&) { labels << w.lblProgress->text(); };
  w.cmdYes_Click();
  for (const QString& l : labels) EXPECT_EQ(l, "");
  EXPECT_EQ(ButtonStates::of(w), phase::afterYes);
  EXPECT_FALSE(w.txtFilePath->isReadOnly());
}

TEST_F(Sequence, AnswersOutsideAQuestionOnlyDisableTheButtons) {
  for (int stage : {0, 1}) {
    Module2::iStage = stage;
    w.cmdYes->setEnabled(true);
    w.cmdNo->setEnabled(true);
    w.cmdYes_Click();
    EXPECT_FALSE(w.cmdYes->isEnabled());
    EXPECT_FALSE(w.cmdNo->isEnabled());
    w.cmdNo_Click();
    EXPECT_EQ(Module2::iStage, stage);
    EXPECT_FALSE(w.Timer1->isActive());
  }
  EXPECT_TRUE(boxes.boxes.empty());
  // A tick with no run does nothing.
  Module2::iStage = 0;
  const ButtonStates before = ButtonStates::of(w);
  tick();
  EXPECT_EQ(ButtonStates::of(w), before);
}

TEST_F(Sequence, TickCounterOverflowIsAnErrorNotAWrap) {
  Module2::iStage = 3;
  Module2::iTicks = 32767;
  EXPECT_THROW(tick(), platform::RuntimeError);
}

TEST_F(Sequence, FolderTextDrivesOptimizeInAnyStage) {
  w.txtFilePath->setText("");
  EXPECT_FALSE(w.cmdCompactRepair->isEnabled());
  w.txtFilePath->setText("/x/");
  EXPECT_TRUE(w.cmdCompactRepair->isEnabled());
  // While a question hides it, the value waits for the end of the run.
  enterStage(2, 4);
  tick();
  w.txtFilePath->setText("");
  w.txtFilePath->setText("/y/");
  EXPECT_TRUE(w.cmdCompactRepair->isEnabled());
  EXPECT_TRUE(w.cmdCompactRepair->isHidden());
}

TEST_F(Sequence, LostFocusIsFocusMovingWithinTheWindow) {
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  w.txtFilePath->setText("");
  w.txtFilePath->setFocus();
  w.cmdCompactRepair->setEnabled(true);  // out of step with the empty box

  // Another window taking activation (as a message box does) is no lost focus.
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  EXPECT_TRUE(w.cmdCompactRepair->isEnabled());
  other.close();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  ASSERT_EQ(QApplication::focusWidget(), w.txtFilePath);

  w.Command1->setFocus(Qt::TabFocusReason);
  EXPECT_FALSE(w.cmdCompactRepair->isEnabled());
}

TEST_F(Sequence, TypingIsAcceptedWhileIdle) {
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  w.txtFilePath->clear();
  w.txtFilePath->setFocus();
  QTest::keyClicks(w.txtFilePath, "/typed/");
  EXPECT_EQ(w.txtFilePath->text(), "/typed/");
  EXPECT_TRUE(w.cmdCompactRepair->isEnabled());
}

TEST(BrowseStartFolder, LastSeparatorFromTheEndButNeverTheFirstCharacter) {
  const std::pair<const char*, const char*> cases[] = {
      {"/data/", "/data"},
      {"/data/sub/", "/data/sub"},
      {"/data/sub", "/data"},
      {"/data", "/data"},
      {"/", "/"},
      {"", ""},
      {"data", "data"},
      {"//", "/"},
      {"/a//", "/a/"},
  };
  for (auto [text, initial] : cases) EXPECT_EQ(frmMain::BrowseStartFolder(text), initial) << text;
}

class Browse : public Sequence {
 protected:
  void TearDown() override { platform::FolderPicker::setShownHook({}); }
  // The picker accepts `choice`, or is cancelled when choice is empty.
  void answer(const QString& choice) {
    platform::FolderPicker::setShownHook([this, choice](platform::FolderPicker& picker) {
      seenInitial = browseFolder::InitialFolder;
      seenCaption = picker.caption();
      if (choice.isEmpty()) {
        picker.reject();
      } else {
        picker.setSelection(choice);
        picker.accept();
      }
    });
  }
  QString seenInitial;
  QString seenCaption;
};

TEST_F(Browse, ChosenFolderWithTheDatabaseEnablesOptimize) {
  answer(startup.root());
  w.txtFilePath->setText("/somewhere/else/");
  w.Command1_Click();
  EXPECT_EQ(seenInitial, "/somewhere/else");
  EXPECT_EQ(seenCaption, "Locate folder containing Ledgerwick database");
  EXPECT_EQ(w.txtFilePath->text(), folder());
  EXPECT_TRUE(w.cmdCompactRepair->isEnabled());
}

TEST_F(Browse, ChosenFolderWithoutTheDatabaseDisablesOptimize) {
  ASSERT_TRUE(QDir(startup.root()).mkdir("empty"));
  answer(startup.root() + "/empty");
  w.Command1_Click();
  EXPECT_EQ(w.txtFilePath->text(), folder() + "empty/");
  EXPECT_FALSE(w.cmdCompactRepair->isEnabled());
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Browse, CancelChangesNothing) {
  answer("");
  w.cmdCompactRepair->setEnabled(false);
  w.Command1_Click();
  EXPECT_EQ(w.txtFilePath->text(), folder());
  EXPECT_FALSE(w.cmdCompactRepair->isEnabled());
}

TEST_F(Browse, RootGetsASecondSeparator) {
  answer("/");
  w.Command1_Click();
  EXPECT_EQ(w.txtFilePath->text(), "//");
}

}  // namespace
