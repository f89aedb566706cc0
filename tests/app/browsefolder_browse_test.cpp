// "Browse" on the main window, through the real picker: the folder it opens on, what a choice
// writes into the folder box, and when "Optimize" may run afterwards.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <functional>

#include "forms/frmMain.h"
#include "modules/browseFolder.h"
#include "platform/FolderPicker.h"

using platform::FolderPicker;

void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

constexpr int kWaitMs = 5000;
constexpr int kWatchdogMs = 15000;

// Presses "Browse" (a click unless `press` says otherwise) and lets `script` work the picker it
// opens; the script must close it. A watchdog closes a picker that is left open, which the test
// then reports.
struct BrowseRun {
  int shown = 0;
  bool leftOpen = false;
  QString caption, initialHighlight;
};

BrowseRun clickBrowse(frmMain& window, const std::function<void(FolderPicker&)>& script,
                      std::function<void()> press = {}) {
  BrowseRun out;
  bool closed = false;
  FolderPicker::setShownHook([&](FolderPicker& dialog) {
    ++out.shown;
    out.caption = dialog.caption();
    out.initialHighlight = dialog.currentPath();
    script(dialog);
    if (!QTest::qWaitFor([&] { return !dialog.isVisible(); }, 2000)) {
      out.leftOpen = true;
      dialog.reject();
    }
    closed = true;
  });
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&] {
    if (auto* dialog = window.findChild<FolderPicker*>(); dialog && dialog->isVisible()) {
      out.leftOpen = true;
      dialog->reject();
    }
  });
  watchdog.start(kWatchdogMs);
  if (press) {
    press();  // an access key clicks a moment later
    EXPECT_TRUE(QTest::qWaitFor([&] { return closed; }, kWatchdogMs + 1000));
  } else {
    window.Command1->click();
  }
  FolderPicker::setShownHook({});
  return out;
}

// Moves the highlight to the sibling named `name` with the arrow keys, as a user would.
void arrowTo(FolderPicker& dialog, const QString& name) {
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.isActiveWindow(); }, kWaitMs));
  const QString target = dialog.currentPath().section('/', 0, -2) + '/' + name;
  // Wait for the siblings to be sorted, so the direction below holds.
  QTreeView* tree = dialog.tree();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const QModelIndex parent = tree->currentIndex().parent();
        return tree->model()->rowCount(parent) == 2 &&
               tree->model()->index(0, 0, parent).data().toString() == "empty";
      },
      kWaitMs));
  const Qt::Key key = name == "empty" ? Qt::Key_Up : Qt::Key_Down;
  QTest::keyClick(tree, key);
  ASSERT_EQ(dialog.currentPath(), target);
  ASSERT_EQ(dialog.statusText(), target);
}

class BrowseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.isValid());
    base_ = QFileInfo(root_.path()).canonicalFilePath();
    ASSERT_TRUE(QDir(base_).mkpath("empty"));
    ASSERT_TRUE(QDir(base_).mkpath("withdb"));
    QFile db(base_ + "/withdb/Ledgerwick.mdb");
    ASSERT_TRUE(db.open(QIODevice::WriteOnly));
    db.close();
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  }

  QTemporaryDir root_;
  QString base_;
  frmMain window_;
};

TEST_F(BrowseTest, AFolderWithTheDatabaseEnablesOptimizeAndOneWithoutDisablesIt) {
  window_.txtFilePath->setText(base_ + "/empty/");
  const BrowseRun toDb = clickBrowse(window_, [](FolderPicker& dialog) {
    arrowTo(dialog, "withdb");
    QTest::keyClick(dialog.tree(), Qt::Key_Return);
  });
  EXPECT_EQ(toDb.shown, 1);
  EXPECT_FALSE(toDb.leftOpen);
  EXPECT_EQ(toDb.caption, "Locate folder containing Ledgerwick database");
  EXPECT_EQ(toDb.initialHighlight, base_ + "/empty");
  EXPECT_EQ(window_.txtFilePath->text(), base_ + "/withdb/");
  EXPECT_TRUE(window_.cmdCompactRepair->isEnabled());
  // The window has the keyboard back, so its access keys work at once.
  EXPECT_TRUE(QTest::qWaitFor([&] { return window_.isActiveWindow(); }, kWaitMs));

  const BrowseRun away = clickBrowse(
      window_,
      [](FolderPicker& dialog) {
        arrowTo(dialog, "empty");
        QTest::keyClick(dialog.tree(), Qt::Key_Return);
      },
      [&] { QTest::keyClick(&window_, Qt::Key_B, Qt::AltModifier); });
  EXPECT_EQ(away.shown, 1);
  EXPECT_FALSE(away.leftOpen);
  EXPECT_EQ(away.initialHighlight, base_ + "/withdb");
  EXPECT_EQ(window_.txtFilePath->text(), base_ + "/empty/");
  EXPECT_FALSE(window_.cmdCompactRepair->isEnabled());
}

TEST_F(BrowseTest, CancelLeavesTheFolderAndOptimizeAlone) {
  for (const bool enabled : {true, false}) {
    window_.txtFilePath->setText(base_ + "/withdb/Ledgerwick.mdb");
    window_.cmdCompactRepair->setEnabled(enabled);
    const BrowseRun run = clickBrowse(window_, [](FolderPicker& dialog) {
      QTest::keyClick(dialog.tree(), Qt::Key_Down);
      QTest::keyClick(dialog.tree(), Qt::Key_Escape);
    });
    EXPECT_EQ(run.shown, 1);
    EXPECT_FALSE(run.leftOpen);
    // The box's text up to its last separator is what the picker opens on.
    EXPECT_EQ(run.initialHighlight, base_ + "/withdb");
    EXPECT_EQ(window_.txtFilePath->text(), base_ + "/withdb/Ledgerwick.mdb");
    EXPECT_EQ(window_.cmdCompactRepair->isEnabled(), enabled);
  }
}

TEST_F(BrowseTest, TheRootGetsASecondSeparatorInTheBox) {
  window_.txtFilePath->setText("/");
  const BrowseRun run = clickBrowse(window_, [](FolderPicker& dialog) {
    EXPECT_EQ(dialog.statusText(), "/");
    dialog.okButton()->click();
  });
  EXPECT_FALSE(run.leftOpen);
  EXPECT_EQ(run.initialHighlight, "/");
  EXPECT_EQ(window_.txtFilePath->text(), "//");
  EXPECT_EQ(window_.cmdCompactRepair->isEnabled(), QFile::exists("/Ledgerwick.mdb"));
}

}  // namespace
