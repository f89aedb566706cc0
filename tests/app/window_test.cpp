// The main window's optimize sequence as a user sees it: every text, button
// state and tick count of two runs on a real database, and the handlers'
// rules around them.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "jet/Engine.h"
#include "jet/format/LongValue.h"
#include "jet/util/Bytes.h"
#include "platform/RuntimeError.h"
#include "support/AppTesting.h"
#include "support/ButtonStates.h"

namespace {

class Window : public apptest::WindowTest {
 protected:
  void click(QPushButton* b) {
    ASSERT_TRUE(b->isEnabled() && !b->isHidden()) << b->objectName().toStdString();
    b->click();
  }
  QString label() const { return w.lblProgress->text(); }
};

TEST_F(Window, DeclineBothQuestionsThenRunAgainAndAcceptBoth) {
  ASSERT_TRUE(apptest::copyWritable(apptest::demoDatabase(), database()));
  const QByteArray original = apptest::readAll(database());
  EXPECT_EQ(label(), "Click browse to locate your database folder, then click OPTIMIZE.");
  EXPECT_EQ(ButtonStates::of(w), phase::idle);

  // First run: No, No.
  click(w.cmdCompactRepair);
  EXPECT_EQ(label(), "Optimizing Database");
  EXPECT_EQ(ButtonStates::of(w), phase::running);
  EXPECT_TRUE(w.txtFilePath->isReadOnly());
  ASSERT_TRUE(apptest::waitUntil([&] { return Module2::bCompacted; }));
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_LE(jet::describe(repaired().toStdString(), apptest::kPassword).pageCount,
            jet::describe(database().toStdString(), apptest::kPassword).pageCount);
  for (int i = 1; i <= 10; ++i) {
    w.Timer1_Timer();
    EXPECT_EQ(w.ProgressBar->value(), 10 * i);
    EXPECT_EQ(label(), "Optimizing Database");
  }
  w.Timer1_Timer();
  EXPECT_EQ(label(), "Optimization Complete");
  EXPECT_EQ(w.ProgressBar->value(), 0);
  EXPECT_EQ(ButtonStates::of(w), phase::running);
  EXPECT_EQ(ticksUntilTimerStops(), 4);
  EXPECT_EQ(label(), "Back-up original database file?");
  EXPECT_EQ(ButtonStates::of(w), phase::backupQuestion);
  click(w.cmdNo);
  EXPECT_EQ(ButtonStates::of(w), phase::waitingForReplace);
  EXPECT_EQ(ticksUntilTimerStops(), 1);
  EXPECT_EQ(label(), "Overwrite Ledgerwick.mdb with Repaired.mdb?");
  EXPECT_EQ(ButtonStates::of(w), phase::replaceQuestion);
  click(w.cmdNo);
  EXPECT_EQ(texts(), QStringList{"Process complete.  Repaired db is named _Repaired.mdb"});
  EXPECT_EQ(label(), "");
  EXPECT_EQ(ButtonStates::of(w), phase::afterNo);
  EXPECT_FALSE(w.txtFilePath->isReadOnly());
  EXPECT_EQ(files(), QStringList({"Ledgerwick.mdb", "_Repaired.mdb"}));

  // Second run: the folder typed again re-enables Optimize; the leftover copy
  // goes silently; Yes, Yes.
  w.txtFilePath->setText("");
  w.txtFilePath->setText(folder());
  boxes.boxes.clear();
  click(w.cmdCompactRepair);
  EXPECT_EQ(w.ProgressBar->value(), 0);
  ASSERT_TRUE(apptest::waitUntil([&] { return Module2::bCompacted; }));
  EXPECT_EQ(ticksUntilTimerStops(), 15);
  click(w.cmdYes);
  EXPECT_EQ(label(), "Backup file LW_20090919_1.mdb created");
  EXPECT_EQ(apptest::readAll(folder() + "LW_20090919_1.mdb"), original);
  EXPECT_EQ(ButtonStates::of(w), phase::waitingForReplace);
  EXPECT_EQ(ticksUntilTimerStops(), 5);
  EXPECT_EQ(label(), "Overwrite Ledgerwick.mdb with Repaired.mdb?");
  const QByteArray copy = apptest::readAll(repaired());
  ASSERT_NE(copy, original) << "the replacement below would prove nothing";
  QStringList labelsWhileBoxOpen;
  boxes.onShow = [&](const MsgBoxRecorder::Box&) { labelsWhileBoxOpen << label(); };
  click(w.cmdYes);
  EXPECT_EQ(texts(), QStringList{"Process Complete"});
  EXPECT_EQ(labelsWhileBoxOpen, QStringList{""});
  EXPECT_EQ(ButtonStates::of(w), phase::afterYes);
  EXPECT_EQ(apptest::readAll(database()), copy);
  EXPECT_EQ(files(), QStringList({"LW_20090919_1.mdb", "Ledgerwick.mdb", "_Repaired.mdb"}));
  EXPECT_EQ(startup.ends, 0);
  click(w.cmdExit);
  EXPECT_EQ(startup.ends, 1);
}

// A table made late kept the copy near the source's size: Optimize packs the
// table definitions, so the copy is its live data with hardly a page free.
TEST_F(Window, OptimizePacksATableDefinitionMadeLate) {
  const QString late = QString(LW_SOURCE_DIR) + "/../shared/fixtures/jackcess-V2000-testV2000.mdb";
  if (!QFile::exists(late)) GTEST_SKIP() << "shared fixtures not present";
  ASSERT_TRUE(apptest::copyWritable(late, database()));
  optimize();
  ASSERT_TRUE(Module2::bCompacted) << texts().join("; ").toStdString();
  const jet::DatabaseInfo source = jet::describe(late.toStdString(), apptest::kPassword);
  const jet::DatabaseInfo copy = jet::describe(repaired().toStdString(), apptest::kPassword);
  EXPECT_LE(copy.freePages, 4u);
  EXPECT_LT(copy.pageCount, source.pageCount / 10);
  EXPECT_TRUE(
      jet::check(repaired().toStdString(), apptest::kPassword, jet::CheckOptions{true}).clean());
}

// Torn pages as Optimize meets them: a user table's data page is damage it
// will not mend, named in the error box with the database untouched and the
// salvage command pointed to, the window back where a run can start; an index
// page (the first intermediate one) is rebuilt from its rows in the copy.
TEST_F(Window, OptimizeRebuildsATornIndexAndNamesATornDataPage) {
  for (const char type : {0x01, 0x03}) {  // the second run starts where the first left off
    SCOPED_TRACE(int(type));
    QByteArray torn = apptest::readAll(apptest::demoDatabase());
    const qsizetype page = 4096;
    qsizetype at = -1;
    for (qsizetype p = page * 3; p < torn.size(); p += page) {
      const uint32_t owner = jet::le32(reinterpret_cast<const uint8_t*>(torn.constData()) + p + 4);
      // Data pages: the last one of a user table, not of the catalog nor memo data.
      if (torn[p] == type && (type == 0x03 ? at < 0 : owner != 2 && owner != jet::kLvalOwner))
        at = p;
    }
    ASSERT_GE(at, 0) << "the demo has no such page";
    torn.replace(at, page, QByteArray(page, 0));
    ASSERT_TRUE(apptest::writeAll(database(), torn));
    // An older copy beside it: salvage is told to take what is lost from it.
    ASSERT_TRUE(apptest::writeAll(folder() + "LW_20090919_1.mdb",
                                  apptest::readAll(apptest::demoDatabase())));
    ASSERT_FALSE(jet::check(database().toStdString(), apptest::kPassword).clean());
    boxes.boxes.clear();
    click(w.cmdCompactRepair);
    if (type == 0x01) {
      ASSERT_TRUE(apptest::waitUntil([&] { return !boxes.boxes.empty(); }));
      const std::string text = texts().join("; ").toStdString();
      EXPECT_NE(text.find("Error 3049: Table '"), std::string::npos) << text;
      EXPECT_NE(text.find("(page " + std::to_string(at / page) + ")"), std::string::npos) << text;
      EXPECT_NE(text.find("The database was not changed."), std::string::npos) << text;
      EXPECT_NE(text.find("jetdb compact --salvage '" + database().toStdString() + "'"),
                std::string::npos)
          << text;
      EXPECT_NE(text.find("--template '" + folder().toStdString() + "LW_20090919_1.mdb'"),
                std::string::npos)
          << text;
      EXPECT_EQ(apptest::readAll(database()), torn);
      EXPECT_EQ(label(), "Optimization failed");
      EXPECT_EQ(files(), (QStringList{"LW_20090919_1.mdb", "Ledgerwick.mdb"}));
      continue;
    }
    ASSERT_TRUE(apptest::waitUntil([&] { return Module2::bCompacted; }));
    EXPECT_TRUE(boxes.boxes.empty()) << texts().join("; ").toStdString();
    const jet::CheckReport r =
        jet::check(repaired().toStdString(), apptest::kPassword, jet::CheckOptions{true});
    EXPECT_TRUE(r.clean());
    EXPECT_GT(r.indexEntriesChecked, 0u);
  }
}

TEST_F(Window, AnswersOutsideAQuestionOnlyDisableTheButtons) {
  for (int stage : {0, 1}) {
    Module2::iStage = stage;
    w.cmdYes->setEnabled(true);
    w.cmdYes_Click();
    w.cmdNo_Click();
    EXPECT_FALSE(w.cmdYes->isEnabled() || w.cmdNo->isEnabled());
    EXPECT_EQ(Module2::iStage, stage);
    EXPECT_FALSE(w.Timer1->isActive());
  }
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Window, TickCounterOverflowIsAnErrorNotAWrap) {
  Module2::iStage = 3;
  Module2::iTicks = 32767;
  EXPECT_THROW(w.Timer1_Timer(), platform::RuntimeError);
}

TEST_F(Window, FolderTextDrivesOptimizeEvenWhileAQuestionHidesIt) {
  w.txtFilePath->setText("");
  EXPECT_FALSE(w.cmdCompactRepair->isEnabled());
  Module2::iStage = 2;
  Module2::iTicks = 4;
  w.Timer1_Timer();
  w.txtFilePath->setText("/y/");
  EXPECT_TRUE(w.cmdCompactRepair->isEnabled());
  EXPECT_TRUE(w.cmdCompactRepair->isHidden());
}

TEST_F(Window, LostFocusIsFocusMovingWithinTheWindow) {
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
  w.Command1->setFocus(Qt::TabFocusReason);
  EXPECT_FALSE(w.cmdCompactRepair->isEnabled());
}

TEST_F(Window, AccessKeyPressesExit) {
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  QTest::keyClick(&w, Qt::Key_X, Qt::AltModifier);
  EXPECT_TRUE(apptest::waitUntil([&] { return startup.ends == 1; }, 2000));
}

TEST_F(Window, LoadShowsTheVersionAndTheHintFitsItsLine) {
  EXPECT_EQ(w.lblTitle->text(), "Ledgerwick Optimizer v1.0.0");
  EXPECT_EQ(w.windowTitle(), w.lblTitle->text());
  // A wider fallback font would push the start-up hint off the status line.
  const QString hint = "Click browse to locate your database folder, then click OPTIMIZE.";
  EXPECT_LE(QFontMetrics(w.lblProgress->font()).horizontalAdvance(hint), w.lblProgress->width());
}

TEST(BrowseStartFolder, LastSeparatorFromTheEndButNeverTheFirstCharacter) {
  const std::pair<const char*, const char*> cases[] = {
      {"/data/", "/data"},
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

}  // namespace
