// The folder chooser on its own, shown without a nested event loop: preselection, the branch
// and scroll position once the tree has loaded, the highlight reported on every move, and
// which folders it offers.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QWheelEvent>

#include "platform/FolderPicker.h"

using platform::FolderPicker;

// Readable failure messages for QString comparisons.
void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

constexpr int kWaitMs = 5000;

// A tree deep and wide enough that its far end is off screen until the view scrolls to it.
class FolderPickerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.isValid());
    base_ = QFileInfo(root_.path()).canonicalFilePath();
    for (int i = 0; i < 40; ++i) {
      ASSERT_TRUE(QDir(base_).mkpath(QString("wide%1").arg(i, 2, 10, QChar('0'))));
    }
    deep_ = base_ + "/one/two/three/zz-target";
    ASSERT_TRUE(QDir().mkpath(deep_));
    ASSERT_TRUE(QDir().mkpath(deep_ + "/child"));
    for (int i = 0; i < 40; ++i) {
      ASSERT_TRUE(QDir(base_ + "/one/two/three").mkpath(QString("aa%1").arg(i)));
    }
  }

  static bool shownInView(FolderPicker& picker, const QString& path) {
    QTreeView* tree = picker.tree();
    if (picker.currentPath() != path) return false;
    const QRect rect = tree->visualRect(tree->currentIndex());
    const QRect view = tree->viewport()->rect();
    return rect.isValid() && rect.top() >= view.top() && rect.bottom() <= view.bottom();
  }

  // The model lists a folder in disk order first and sorts it a moment later.
  static bool sortedUnder(FolderPicker& picker, const QString& folder) {
    const QAbstractItemModel* model = picker.tree()->model();
    const QModelIndex parent = picker.tree()->currentIndex().parent();
    if (picker.currentPath().section('/', 0, -2) != folder) return false;
    QStringList names;
    for (int row = 0; row < model->rowCount(parent); ++row) {
      names << model->index(row, 0, parent).data().toString();
    }
    QStringList sorted = names;
    sorted.sort();
    return names.size() > 1 && names == sorted;
  }

  QTemporaryDir root_;
  QString base_;
  QString deep_;
};

TEST_F(FolderPickerTest, PreselectsADeepFolderExpandedAndInView) {
  FolderPicker picker(nullptr, "Pick one");
  EXPECT_EQ(picker.caption(), "Pick one");
  QSignalSpy moved(&picker, &FolderPicker::selectionChanged);
  ASSERT_TRUE(picker.setSelection(deep_));
  picker.show();

  EXPECT_EQ(picker.currentPath(), deep_);
  ASSERT_GE(moved.count(), 1);
  EXPECT_EQ(moved.first().at(0).toString(), deep_);
  EXPECT_TRUE(picker.okButton()->isEnabled());
  // The rows come from the model's loader thread and push the folder down as they arrive;
  // once they are all in and sorted, the folder must be back in view.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const QModelIndex parent = picker.tree()->currentIndex().parent();
        return picker.tree()->model()->rowCount(parent) == 41 &&
               sortedUnder(picker, base_ + "/one/two/three");
      },
      kWaitMs));
  EXPECT_TRUE(QTest::qWaitFor([&] { return shownInView(picker, deep_); }, kWaitMs));
  QTreeView* tree = picker.tree();
  for (QModelIndex up = tree->currentIndex().parent(); up.isValid(); up = up.parent()) {
    EXPECT_TRUE(tree->isExpanded(up)) << up.data().toString().toStdString();
  }
  EXPECT_TRUE(tree->isExpanded(tree->currentIndex()));
  EXPECT_TRUE(tree->selectionModel()->isSelected(tree->currentIndex()));
}

TEST_F(FolderPickerTest, StopsPullingThePreselectionBackOnceTheUserScrolls) {
  FolderPicker picker(nullptr, "Pick");
  ASSERT_TRUE(picker.setSelection(deep_));
  picker.show();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return sortedUnder(picker, base_ + "/one/two/three") && shownInView(picker, deep_); },
      kWaitMs));
  QWidget* viewport = picker.tree()->viewport();
  const QPoint centre = viewport->rect().center();
  QWheelEvent wheel(centre, viewport->mapToGlobal(centre), QPoint(), QPoint(0, 120 * 10),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(viewport, &wheel);
  const int scrolled = picker.tree()->verticalScrollBar()->value();
  ASSERT_FALSE(shownInView(picker, deep_));

  // New rows arriving later (here: a folder made meanwhile) leave the user's scroll alone.
  QSignalSpy inserted(picker.tree()->model(), &QAbstractItemModel::rowsInserted);
  ASSERT_TRUE(QDir(base_ + "/one/two/three").mkdir("aa-new"));
  ASSERT_TRUE(inserted.wait(kWaitMs));
  QTest::qWait(50);
  EXPECT_EQ(picker.tree()->verticalScrollBar()->value(), scrolled);
  EXPECT_EQ(picker.currentPath(), deep_);
}

TEST_F(FolderPickerTest, LosingTheHighlightReportsNoPathAndDisablesOk) {
  FolderPicker picker(nullptr, "Pick");
  ASSERT_TRUE(picker.setSelection(base_));
  picker.setStatusText(base_);
  QSignalSpy moved(&picker, &FolderPicker::selectionChanged);
  picker.tree()->setCurrentIndex(QModelIndex());
  ASSERT_EQ(moved.count(), 1);
  EXPECT_EQ(moved.first().at(0).toString(), QString());
  EXPECT_EQ(picker.currentPath(), QString());
  EXPECT_FALSE(picker.okButton()->isEnabled());
  // The status line is the owner's to change.
  EXPECT_EQ(picker.statusText(), base_);
}

TEST_F(FolderPickerTest, ALongPathWrapsInsteadOfWideningTheDialog) {
  FolderPicker picker(nullptr, "Pick");
  picker.show();
  const int width = picker.width();
  const QString path = "/" + QString("folder-with-a-long-name/").repeated(30) + "end";
  picker.setStatusText(path);
  QTest::qWait(20);
  EXPECT_EQ(picker.statusText(), path);
  EXPECT_EQ(picker.width(), width);
}

TEST_F(FolderPickerTest, RefusesWhatIsNoFolderAndKeepsTheHighlight) {
  QFile file(base_ + "/plain.txt");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  FolderPicker picker(nullptr, "Pick");
  ASSERT_TRUE(picker.setSelection(base_ + "/wide01"));
  for (const QString& bad : {QString(), base_ + "/missing", base_ + "/plain.txt", QString("wide01"),
                             QString("relative/path")}) {
    EXPECT_FALSE(picker.setSelection(bad)) << bad.toStdString();
    EXPECT_EQ(picker.currentPath(), base_ + "/wide01") << bad.toStdString();
  }
}

TEST_F(FolderPickerTest, GivesPathsWithoutTrailingSeparatorButForTheRoot) {
  FolderPicker picker(nullptr, "Pick");
  ASSERT_TRUE(picker.setSelection(base_ + "/one/two/"));
  EXPECT_EQ(picker.currentPath(), base_ + "/one/two");
  ASSERT_TRUE(picker.setSelection(base_ + "/one/./two/../two"));
  EXPECT_EQ(picker.currentPath(), base_ + "/one/two");
  ASSERT_TRUE(picker.setSelection("/"));
  EXPECT_EQ(picker.currentPath(), "/");
}

TEST_F(FolderPickerTest, OffersFoldersOnlyAndHiddenOnesOnlyWhenAsked) {
  QFile file(base_ + "/one/a-file.txt");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  ASSERT_TRUE(QDir(base_ + "/one").mkpath(".secret/inner"));

  FolderPicker picker(nullptr, "Pick");
  ASSERT_TRUE(picker.setSelection(base_ + "/one"));
  picker.show();
  QTreeView* tree = picker.tree();
  const QModelIndex one = tree->currentIndex();
  auto names = [&] {
    QStringList out;
    for (int row = 0; row < tree->model()->rowCount(one); ++row) {
      out << tree->model()->index(row, 0, one).data().toString();
    }
    out.sort();
    return out;
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return names().contains("two"); }, kWaitMs));
  EXPECT_EQ(names(), QStringList{"two"});

  // A preselected folder inside a hidden one is still reachable.
  ASSERT_TRUE(picker.setSelection(base_ + "/one/.secret/inner"));
  EXPECT_EQ(picker.currentPath(), base_ + "/one/.secret/inner");
  EXPECT_TRUE(QTest::qWaitFor([&] { return names().contains(".secret"); }, kWaitMs));
}

TEST_F(FolderPickerTest, ShowsUnreadableFoldersWithoutEnteringThem) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  const QString locked = base_ + "/one/locked";
  ASSERT_TRUE(QDir().mkpath(locked + "/inside"));
  ASSERT_TRUE(QFile::setPermissions(locked, QFile::WriteOwner));

  FolderPicker picker(nullptr, "Pick");
  ASSERT_TRUE(picker.setSelection(locked));
  picker.show();
  QTreeView* tree = picker.tree();
  const QModelIndex index = tree->currentIndex();
  EXPECT_EQ(picker.currentPath(), locked);
  EXPECT_FALSE(tree->model()->hasChildren(index));
  QTest::keyClick(tree, Qt::Key_Right);
  EXPECT_EQ(picker.currentPath(), locked);
  EXPECT_EQ(tree->model()->rowCount(index), 0);
  QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(FolderPickerTest, OpensAtHomeWhenNothingIsPreselected) {
  const QByteArray oldHome = qgetenv("HOME");
  qputenv("HOME", base_.toUtf8());
  {
    FolderPicker picker(nullptr, "Pick");
    QSignalSpy ready(&picker, &FolderPicker::initialized);
    EXPECT_FALSE(picker.setSelection(base_ + "/gone"));
    picker.show();
    EXPECT_EQ(ready.count(), 1);
    EXPECT_EQ(picker.currentPath(), base_);
    picker.hide();
    picker.show();
    EXPECT_EQ(ready.count(), 1);  // once per dialog, not per showing
  }
  qputenv("HOME", oldHome);
}

}  // namespace
