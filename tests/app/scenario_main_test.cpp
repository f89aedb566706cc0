// Two runs of the optimize sequence on a copy of the demo database, driven
// headless through object names and handlers, seeing every text, button state
// and tick count a user would.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "forms/frmMain.h"
#include "jet/Engine.h"
#include "modules/Module2.h"
#include "support/AppTesting.h"
#include "support/ButtonStates.h"
#include "support/MsgBoxRecorder.h"

namespace {

class MainScenario : public ::testing::Test {
 protected:
  template <class T>
  T* control(const char* name) {
    T* c = w.findChild<T*>(name);
    EXPECT_NE(c, nullptr) << name;
    return c;
  }
  void tick(int n = 1) {
    for (int i = 0; i < n; ++i) {
      ASSERT_TRUE(w.Timer1->isActive()) << "tick without a running timer";
      QMetaObject::invokeMethod(&w, "Timer1_Timer");
      ++ticks;
    }
  }
  void click(const char* button) {
    QPushButton* b = control<QPushButton>(button);
    ASSERT_TRUE(b->isEnabled() && !b->isHidden()) << button;
    b->click();
  }
  QString label() { return control<QLabel>("lblProgress")->text(); }
  int bar() { return control<QProgressBar>("ProgressBar")->value(); }

  apptest::IsolatedStartup startup;
  MsgBoxRecorder boxes;
  frmMain w;
  int ticks = 0;
};

TEST_F(MainScenario, DeclineBothQuestionsThenRunAgainAndAcceptBoth) {
  const QString data = startup.root() + "/data/";
  ASSERT_TRUE(QDir().mkpath(data));
  ASSERT_TRUE(apptest::copyWritable(apptest::demoDatabase(), data + "Ledgerwick.mdb"));
  startup.writeSettings(("[Config]\ndbPath=" + data + "Ledgerwick.mdb\n").toUtf8());

  w.Form_Load();
  w.Timer1->setInterval(24 * 3600 * 1000);  // ticks come from the test
  EXPECT_EQ(control<QLineEdit>("txtFilePath")->text(), data);
  EXPECT_EQ(label(), "Click browse to locate your database folder, then click OPTIMIZE.");
  EXPECT_EQ(ButtonStates::of(w), phase::idle);

  // First run: No, No.
  click("cmdCompactRepair");
  EXPECT_EQ(label(), "Optimizing Database");
  EXPECT_EQ(ButtonStates::of(w), phase::running);
  EXPECT_TRUE(w.txtFilePath->isReadOnly());
  EXPECT_EQ(Module2::iStage, 1);
  ASSERT_TRUE(apptest::waitUntil([&] { return Module2::bCompacted; }));
  EXPECT_TRUE(boxes.boxes.empty());
  // A compacted copy that the engine reads back, beside the untouched original.
  const jet::DatabaseInfo repaired =
      jet::describe((data + "_Repaired.mdb").toStdString(), ";pwd=m0ssb4nk7q");
  const jet::DatabaseInfo original =
      jet::describe((data + "Ledgerwick.mdb").toStdString(), ";pwd=m0ssb4nk7q");
  EXPECT_LE(repaired.pageCount, original.pageCount);

  for (int i = 1; i <= 10; ++i) {
    tick();
    EXPECT_EQ(bar(), 10 * i);
  }
  EXPECT_EQ(label(), "Optimizing Database");
  tick();
  EXPECT_EQ(ticks, 11);
  EXPECT_EQ(label(), "Optimization Complete");
  EXPECT_EQ(bar(), 0);
  while (label() != "Back-up original database file?") {
    EXPECT_EQ(ButtonStates::of(w), phase::running);
    tick();
    ASSERT_LE(ticks, 15);
  }
  EXPECT_EQ(ticks, 15);
  EXPECT_FALSE(w.Timer1->isActive());
  EXPECT_EQ(ButtonStates::of(w), phase::backupQuestion);

  click("cmdNo");
  EXPECT_EQ(ButtonStates::of(w), phase::waitingForReplace);
  tick();
  EXPECT_EQ(label(), "Overwrite Ledgerwick.mdb with Repaired.mdb?");
  EXPECT_EQ(ButtonStates::of(w), phase::replaceQuestion);
  click("cmdNo");
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "Process complete.  Repaired db is named _Repaired.mdb");
  EXPECT_EQ(label(), "");
  EXPECT_EQ(ButtonStates::of(w), phase::afterNo);
  EXPECT_FALSE(w.txtFilePath->isReadOnly());
  QStringList files = QDir(data).entryList(QDir::Files);
  files.sort();
  EXPECT_EQ(files.join(","), "Ledgerwick.mdb,_Repaired.mdb");

  // Second run: the folder typed again re-enables Optimize; Yes, Yes.
  w.txtFilePath->setText("");
  w.txtFilePath->setText(data);
  boxes.boxes.clear();
  ticks = 0;
  click("cmdCompactRepair");
  EXPECT_FALSE(Module2::bCompacted);
  EXPECT_EQ(bar(), 0);
  ASSERT_TRUE(apptest::waitUntil([&] { return Module2::bCompacted; }));
  EXPECT_TRUE(boxes.boxes.empty()) << "the leftover copy goes silently";
  tick(15);
  EXPECT_EQ(label(), "Back-up original database file?");
  click("cmdYes");
  EXPECT_EQ(ButtonStates::of(w), phase::waitingForReplace);
  const QStringList backups = QDir(data).entryList({"LW_*.mdb"}, QDir::Files);
  ASSERT_EQ(backups.size(), 1);
  EXPECT_TRUE(label().contains(backups[0])) << label().toStdString();
  tick(4);
  EXPECT_NE(label(), "Overwrite Ledgerwick.mdb with Repaired.mdb?");
  tick();
  EXPECT_EQ(label(), "Overwrite Ledgerwick.mdb with Repaired.mdb?");
  click("cmdYes");
  EXPECT_EQ(label(), "");
  EXPECT_EQ(ButtonStates::of(w), phase::afterYes);
  EXPECT_EQ(QFileInfo(data + "Ledgerwick.mdb").size(), QFileInfo(data + "_Repaired.mdb").size());
  EXPECT_EQ(QFileInfo(data + backups[0]).size(), QFileInfo(apptest::demoDatabase()).size());
  EXPECT_EQ(startup.ends, 0);

  // Exit ends the program once idle.
  click("cmdExit");
  EXPECT_EQ(startup.ends, 1);
}

}  // namespace
