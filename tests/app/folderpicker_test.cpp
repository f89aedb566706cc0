// The folder picker: opened modally by SelectFolder and by "Browse", driven
// from its shown hook with a watchdog (a picker left open fails instead of
// hanging), and on its own: preselection kept in view while the tree loads,
// and which folders it offers.
#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <QWheelEvent>

#include "modules/browseFolder.h"
#include "platform/FolderPicker.h"
#include "support/AppTesting.h"

namespace {

using platform::FolderPicker;
constexpr int kWaitMs = 5000;

// Runs open(), which shows a picker modally, and lets script act on it once
// it is on screen; the script must close it. Returns open()'s result.
struct Driven {
  QString result;
  int shown = 0;
  bool leftOpen = false;
};
Driven drive(const std::function<QString()>& open,
             const std::function<void(FolderPicker&)>& script) {
  Driven out;
  FolderPicker::setShownHook([&](FolderPicker& dialog) {
    ++out.shown;
    script(dialog);
    if (!QTest::qWaitFor([&] { return !dialog.isVisible(); }, 2000)) {
      out.leftOpen = true;
      dialog.reject();
    }
  });
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) {
        out.leftOpen = true;
        d->reject();
      }
  });
  watchdog.start(15000);
  out.result = open();
  FolderPicker::setShownHook({});
  return out;
}

// The names under the highlighted folder's parent, once the model has sorted them.
QStringList siblings(FolderPicker& dialog) {
  const QAbstractItemModel* model = dialog.tree()->model();
  const QModelIndex parent = dialog.tree()->currentIndex().parent();
  QStringList names;
  for (int row = 0; row < model->rowCount(parent); ++row)
    names << model->index(row, 0, parent).data().toString();
  return names;
}

class Picker : public ::testing::Test {
 protected:
  void SetUp() override {
    base = QFileInfo(root_.path()).canonicalFilePath();
    for (const char* p :
         {"a/deep/er/est", "a/deep/er/fst", "a/deep/er/gst", "b", "empty", "withdb"})
      ASSERT_TRUE(QDir(base).mkpath(p));
    apptest::writeAll(base + "/withdb/Ledgerwick.mdb", "");
    qputenv("HOME", base.toUtf8());
  }
  void TearDown() override { qputenv("HOME", home_); }

  QTemporaryDir root_;
  QByteArray home_ = qgetenv("HOME");
  QString base;
  QWidget owner;
};

TEST_F(Picker, PreselectsTheFolderAndTheStatusLineFollowsTheKeys) {
  const QString deep = base + "/a/deep/er/fst";
  QStringList status;
  bool modalToOwner = false;
  const Driven run =
      drive([&] { return browseFolder::SelectFolder(&owner, "Pick it", deep); },
            [&](FolderPicker& d) {
              modalToOwner = d.isModal() && d.parentWidget() == &owner && d.caption() == "Pick it";
              status << d.statusText();
              ASSERT_TRUE(QTest::qWaitFor(
                  [&] {
                    return d.isActiveWindow() && siblings(d) == QStringList({"est", "fst", "gst"});
                  },
                  kWaitMs));
              for (Qt::Key k : {Qt::Key_Down, Qt::Key_Up, Qt::Key_Up}) {
                QTest::keyClick(d.tree(), k);
                status << d.statusText();
              }
              QTest::keyClick(d.tree(), Qt::Key_Return);
            });
  EXPECT_EQ(run.shown, 1);
  EXPECT_FALSE(run.leftOpen);
  EXPECT_TRUE(modalToOwner);
  const QString er = base + "/a/deep/er/";
  EXPECT_EQ(status, QStringList({deep, er + "gst", er + "fst", er + "est"}));
  EXPECT_EQ(run.result, er + "est");
  EXPECT_EQ(browseFolder::InitialFolder, deep);
}

TEST_F(Picker, CancelEscapeTheCloseBoxAndNoHighlightGiveNothing) {
  const std::pair<const char*, std::function<void(FolderPicker&)>> ways[] = {
      {"Cancel",
       [](FolderPicker& d) {
         QTest::mouseClick(d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel),
                           Qt::LeftButton);
       }},
      {"Esc", [](FolderPicker& d) { QTest::keyClick(d.tree(), Qt::Key_Escape); }},
      {"close box", [](FolderPicker& d) { d.close(); }},
      {"Return without a highlight",
       [](FolderPicker& d) {
         const QString before = d.statusText();
         d.tree()->setCurrentIndex(QModelIndex());
         EXPECT_EQ(d.statusText(), before);  // an item without a path leaves it
         EXPECT_FALSE(d.okButton()->isEnabled());
         QTest::keyClick(d.tree(), Qt::Key_Return);
         if (d.isVisible()) d.reject();
       }},
  };
  for (const auto& [name, way] : ways) {
    const Driven run =
        drive([&] { return browseFolder::SelectFolder(&owner, "Pick", base + "/b"); }, way);
    EXPECT_EQ(run.shown, 1) << name;
    EXPECT_FALSE(run.leftOpen) << name;
    EXPECT_EQ(run.result, QString()) << name;
  }
}

TEST_F(Picker, AMissingOrEmptyInitialFolderOpensAtHomeQuietly) {
  MsgBoxRecorder boxes;
  for (const QString& initial : {base + "/gone/too", QString()}) {
    QString status;
    const Driven run = drive([&] { return browseFolder::SelectFolder(&owner, "Pick", initial); },
                             [&](FolderPicker& d) {
                               status = d.statusText();
                               d.accept();
                             });
    EXPECT_EQ(status, base) << initial;
    EXPECT_EQ(run.result, base) << initial;
  }
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Picker, KeepsADeepPreselectionInViewUntilTheUserScrolls) {
  for (int i = 0; i < 40; ++i) {
    ASSERT_TRUE(QDir(base).mkpath(QString("wide%1").arg(i, 2, 10, QChar('0'))));
    ASSERT_TRUE(QDir(base).mkpath(QString("one/two/three/aa%1").arg(i)));
  }
  const QString deep = base + "/one/two/three/zz-target";
  ASSERT_TRUE(QDir().mkpath(deep + "/child"));
  FolderPicker picker(nullptr, "Pick");
  ASSERT_TRUE(picker.setSelection(deep));
  picker.show();
  QTreeView* tree = picker.tree();
  auto inView = [&] {
    const QRect r = tree->visualRect(tree->currentIndex());
    return picker.currentPath() == deep && r.isValid() && r.top() >= 0 &&
           r.bottom() <= tree->viewport()->rect().bottom();
  };
  // The rows arrive from the model's loader and push the folder down; once
  // they are all in and sorted, it must be back in view, its branch open.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const QStringList names = siblings(picker);
        QStringList sorted = names;
        sorted.sort();
        return names.size() == 41 && names == sorted && inView();
      },
      kWaitMs));
  for (QModelIndex up = tree->currentIndex(); up.isValid(); up = up.parent())
    EXPECT_TRUE(tree->isExpanded(up)) << up.data().toString().toStdString();
  // New rows arriving after the user scrolled leave the scroll alone.
  QWidget* viewport = tree->viewport();
  const QPoint c = viewport->rect().center();
  QWheelEvent wheel(c, viewport->mapToGlobal(c), QPoint(), QPoint(0, 1200), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(viewport, &wheel);
  const int scrolled = tree->verticalScrollBar()->value();
  ASSERT_FALSE(inView());
  QSignalSpy inserted(tree->model(), &QAbstractItemModel::rowsInserted);
  ASSERT_TRUE(QDir(base + "/one/two/three").mkdir("aa-new"));
  ASSERT_TRUE(inserted.wait(kWaitMs));
  QTest::qWait(50);
  EXPECT_EQ(tree->verticalScrollBar()->value(), scrolled);
}

// "Browse" on the main window: the picker opens on the box's folder, and a
// choice fills the box and decides whether Optimize may run.
TEST_F(Picker, BrowseFillsTheFolderBoxAndChecksForTheDatabase) {
  apptest::IsolatedStartup startup;
  frmMain w;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  auto browse = [&](const char* pick) {
    QString opened;
    const Driven run = drive(
        [&] {
          w.Command1->click();
          return QString();
        },
        [&](FolderPicker& d) {
          opened = d.currentPath();
          EXPECT_EQ(d.caption(), "Locate folder containing Ledgerwick database");
          if (std::string(pick).empty()) {
            d.reject();
            return;
          }
          ASSERT_TRUE(d.setSelection(pick[0] == '/' ? QString(pick) : base + "/" + pick));
          QTest::keyClick(d.tree(), Qt::Key_Return);
        });
    EXPECT_EQ(run.shown, 1);
    EXPECT_FALSE(run.leftOpen);
    return opened;
  };
  w.txtFilePath->setText(base + "/empty/");
  EXPECT_EQ(browse("withdb"), base + "/empty");
  EXPECT_EQ(w.txtFilePath->text(), base + "/withdb/");
  EXPECT_TRUE(w.cmdCompactRepair->isEnabled());
  EXPECT_EQ(browse("empty"), base + "/withdb");
  EXPECT_EQ(w.txtFilePath->text(), base + "/empty/");
  EXPECT_FALSE(w.cmdCompactRepair->isEnabled());
  w.txtFilePath->setText(base + "/withdb/Ledgerwick.mdb");
  w.cmdCompactRepair->setEnabled(true);
  EXPECT_EQ(browse(""), base + "/withdb");  // cancelled: nothing changes
  EXPECT_EQ(w.txtFilePath->text(), base + "/withdb/Ledgerwick.mdb");
  EXPECT_TRUE(w.cmdCompactRepair->isEnabled());
  browse("/");
  EXPECT_EQ(w.txtFilePath->text(), "//");
}

}  // namespace
