// SelectFolder as the program uses it: the modal picker opened, driven and closed from a hook
// while the call waits, with a watchdog so that a picker left open fails instead of hanging.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <functional>

#include "modules/browseFolder.h"
#include "platform/FolderPicker.h"
#include "support/MsgBoxRecorder.h"

using platform::FolderPicker;

void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

constexpr int kWaitMs = 5000;
constexpr int kWatchdogMs = 15000;

struct Driven {
  QString result;
  int shown = 0;
  bool leftOpen = false;  // the script did not close the picker; something else had to
};

// Calls `open` (which runs the picker modally) and lets `script` act on the picker once it is
// on screen; the script must close it.
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
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible()) {
        out.leftOpen = true;
        dialog->reject();
      }
    }
  });
  watchdog.start(kWatchdogMs);
  out.result = open();
  FolderPicker::setShownHook({});
  return out;
}

// Waits until the picker has the keyboard and lists the highlighted folder's siblings as
// `siblings`, in that order (the model lists in disk order first and sorts a moment later).
bool settled(FolderPicker& dialog, const QStringList& siblings = {}) {
  return QTest::qWaitFor(
      [&] {
        const QAbstractItemModel* model = dialog.tree()->model();
        const QModelIndex parent = dialog.tree()->currentIndex().parent();
        QStringList names;
        for (int row = 0; row < model->rowCount(parent); ++row) {
          names << model->index(row, 0, parent).data().toString();
        }
        return dialog.isActiveWindow() && (siblings.isEmpty() || names == siblings);
      },
      kWaitMs);
}

class SelectFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.isValid());
    base_ = QFileInfo(root_.path()).canonicalFilePath();
    for (const char* path : {"a/deep/er/est", "a/deep/er/fst", "a/deep/er/gst", "b", "c"}) {
      ASSERT_TRUE(QDir(base_).mkpath(path));
    }
    oldHome_ = qgetenv("HOME");
    qputenv("HOME", base_.toUtf8());
  }
  void TearDown() override { qputenv("HOME", oldHome_); }

  QTemporaryDir root_;
  QString base_;
  QByteArray oldHome_;
  QWidget owner_;
};

TEST_F(SelectFolderTest, PreselectsTheFolderAndTheStatusLineFollowsTheKeys) {
  const QString deep = base_ + "/a/deep/er/fst";
  QString caption, firstStatus, afterDown, afterUpUp;
  bool modalToOwner = false;
  const Driven run =
      drive([&] { return browseFolder::SelectFolder(&owner_, "Pick the folder", deep); },
            [&](FolderPicker& dialog) {
              caption = dialog.caption();
              modalToOwner = dialog.isModal() && dialog.parentWidget() == &owner_;
              firstStatus = dialog.statusText();
              ASSERT_TRUE(settled(dialog, {"est", "fst", "gst"}));
              QTest::keyClick(dialog.tree(), Qt::Key_Down);
              afterDown = dialog.statusText();
              QTest::keyClick(dialog.tree(), Qt::Key_Up);
              QTest::keyClick(dialog.tree(), Qt::Key_Up);
              afterUpUp = dialog.statusText();
              QTest::keyClick(dialog.tree(), Qt::Key_Return);
            });
  EXPECT_EQ(run.shown, 1);
  EXPECT_FALSE(run.leftOpen);
  EXPECT_EQ(caption, "Pick the folder");
  EXPECT_TRUE(modalToOwner);
  EXPECT_EQ(firstStatus, deep);
  EXPECT_EQ(afterDown, base_ + "/a/deep/er/gst");
  EXPECT_EQ(afterUpUp, base_ + "/a/deep/er/est");
  EXPECT_EQ(run.result, base_ + "/a/deep/er/est");
  EXPECT_EQ(browseFolder::InitialFolder, deep);
}

TEST_F(SelectFolderTest, CancelEscapeAndTheCloseBoxAllGiveNothing) {
  const std::vector<std::pair<const char*, std::function<void(FolderPicker&)>>> ways = {
      {"Cancel",
       [](FolderPicker& d) {
         auto* cancel = d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel);
         QTest::mouseClick(cancel, Qt::LeftButton);
       }},
      {"Esc", [](FolderPicker& d) { QTest::keyClick(d.tree(), Qt::Key_Escape); }},
      {"close box", [](FolderPicker& d) { d.close(); }},
  };
  for (const auto& [name, way] : ways) {
    const Driven run =
        drive([&] { return browseFolder::SelectFolder(&owner_, "Pick", base_ + "/b"); }, way);
    EXPECT_EQ(run.shown, 1) << name;
    EXPECT_FALSE(run.leftOpen) << name;
    EXPECT_EQ(run.result, QString()) << name;
  }
}

TEST_F(SelectFolderTest, AMissingOrEmptyInitialFolderOpensAtHomeQuietly) {
  MsgBoxRecorder boxes;
  for (const QString& initial : {base_ + "/gone/too", QString()}) {
    QString status;
    bool otherBoxes = false;
    const Driven run = drive([&] { return browseFolder::SelectFolder(&owner_, "Pick", initial); },
                             [&](FolderPicker& dialog) {
                               status = dialog.statusText();
                               for (QWidget* w : QApplication::topLevelWidgets()) {
                                 otherBoxes |= qobject_cast<QMessageBox*>(w) && w->isVisible();
                               }
                               dialog.accept();
                             });
    EXPECT_FALSE(run.leftOpen);
    EXPECT_FALSE(otherBoxes);
    EXPECT_EQ(status, base_) << initial.toStdString();
    EXPECT_EQ(run.result, base_) << initial.toStdString();
    EXPECT_EQ(browseFolder::InitialFolder, initial);
  }
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(SelectFolderTest, ASecondCallPreselectsItsOwnFolder) {
  QString first, second;
  drive([&] { return browseFolder::SelectFolder(&owner_, "Pick", base_ + "/b"); },
        [&](FolderPicker& dialog) {
          first = dialog.currentPath();
          dialog.reject();
        });
  drive([&] { return browseFolder::SelectFolder(&owner_, "Pick", base_ + "/c/"); },
        [&](FolderPicker& dialog) {
          second = dialog.currentPath();
          dialog.reject();
        });
  EXPECT_EQ(first, base_ + "/b");
  EXPECT_EQ(second, base_ + "/c");
  EXPECT_EQ(browseFolder::InitialFolder, base_ + "/c/");
}

TEST_F(SelectFolderTest, AnItemWithoutAPathLeavesTheStatusLine) {
  QString before, after;
  bool okEnabled = true;
  const Driven run =
      drive([&] { return browseFolder::SelectFolder(&owner_, "Pick", base_ + "/b"); },
            [&](FolderPicker& dialog) {
              before = dialog.statusText();
              dialog.tree()->setCurrentIndex(QModelIndex());
              after = dialog.statusText();
              okEnabled = dialog.okButton()->isEnabled();
              // Return must not accept while nothing is highlighted.
              QTest::keyClick(dialog.tree(), Qt::Key_Return);
              if (dialog.isVisible()) dialog.reject();
            });
  EXPECT_FALSE(run.leftOpen);
  EXPECT_EQ(before, base_ + "/b");
  EXPECT_EQ(after, base_ + "/b");
  EXPECT_FALSE(okEnabled);
  EXPECT_EQ(run.result, QString());
}

}  // namespace
