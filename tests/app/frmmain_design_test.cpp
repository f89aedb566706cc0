// The main window as created: controls, captions, geometry, fonts, stacking,
// focus order, and what the load handler changes.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "forms/frmMain.h"
#include "modules/Module2.h"
#include "support/AppTesting.h"
#include "support/ButtonStates.h"
#include "support/MsgBoxRecorder.h"

namespace {

bool at96Dpi() { return QGuiApplication::primaryScreen()->logicalDotsPerInchX() == 96.0; }

TEST(MainWindowDesign, EveryControlIsTheMemberOfItsNameAndKind) {
  frmMain w;
  EXPECT_EQ(w.objectName(), "frmMain");
  const std::pair<QObject*, const char*> members[] = {
      {w.txtFilePath, "txtFilePath"},
      {w.Command1, "Command1"},
      {w.cmdCompactRepair, "cmdCompactRepair"},
      {w.cmdExit, "cmdExit"},
      {w.cmdYes, "cmdYes"},
      {w.cmdNo, "cmdNo"},
      {w.lblProgress, "lblProgress"},
      {w.lblTitle, "lblTitle"},
      {w.ProgressBar, "ProgressBar"},
      {w.Timer1, "Timer1"},
      {w.imgTitleLeft, "imgTitleLeft"},
      {w.imgTitleMain, "imgTitleMain"},
      {w.imgTitleRight, "imgTitleRight"},
      {w.imgTitleClose, "imgTitleClose"},
      {w.imgTitleHelp, "imgTitleHelp"},
      {w.imgTitleMinimize, "imgTitleMinimize"},
      {w.imgWindowLeft, "imgWindowLeft"},
      {w.imgWindowRight, "imgWindowRight"},
      {w.imgWindowBottom, "imgWindowBottom"},
      {w.imgWindowBottomLeft, "imgWindowBottomLeft"},
      {w.imgWindowBottomRight, "imgWindowBottomRight"},
  };
  for (auto [member, name] : members) {
    ASSERT_NE(member, nullptr) << name;
    EXPECT_EQ(w.findChild<QObject*>(name), member) << name;
  }
  const std::pair<QPushButton*, const char*> captions[] = {{w.Command1, "&Browse"},
                                                           {w.cmdCompactRepair, "&Optimize"},
                                                           {w.cmdExit, "E&xit"},
                                                           {w.cmdYes, "&Yes"},
                                                           {w.cmdNo, "&No"}};
  for (auto [button, caption] : captions) EXPECT_EQ(button->text(), caption);
  EXPECT_EQ(w.lblProgress->text(),
            "Click browse to locate your database folder, then click OPTIMIZE.");
  EXPECT_EQ(w.lblTitle->text(), "Ledgerwick Database Optimizer");
  EXPECT_EQ(w.windowTitle(), "Ledgerwick database optimization utility");
  EXPECT_TRUE(w.txtFilePath->text().isEmpty());
}

TEST(MainWindowDesign, StateAtCreation) {
  frmMain w;
  EXPECT_EQ(ButtonStates::of(w), phase::idle);
  EXPECT_FALSE(w.Timer1->isActive());
  EXPECT_EQ(w.Timer1->interval(), 400);
  EXPECT_EQ(w.ProgressBar->minimum(), 0);
  EXPECT_EQ(w.ProgressBar->maximum(), 100);
  EXPECT_FALSE(w.ProgressBar->isHidden());
  EXPECT_FALSE(w.txtFilePath->isReadOnly());
  // A frameless top-level window that cannot be resized.
  EXPECT_TRUE(w.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(w.isWindow());
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
}

TEST(MainWindowDesign, GeometryAt96Dpi) {
  if (!at96Dpi()) GTEST_SKIP() << "pixel figures hold at 96 dpi";
  frmMain w;
  EXPECT_EQ(w.size(), QSize(494, 184));
  EXPECT_EQ(w.Command1->geometry(), QRect(416, 53, 65, 17));
  EXPECT_EQ(w.cmdExit->geometry(), QRect(312, 96, 97, 25));
  EXPECT_EQ(w.cmdCompactRepair->geometry(), QRect(88, 96, 97, 25));
  EXPECT_EQ(w.ProgressBar->geometry(), QRect(-8, 160, 505, 25));
  EXPECT_EQ(w.txtFilePath->geometry(), QRect(40, 48, 369, 25));
  EXPECT_EQ(w.lblProgress->geometry(), QRect(0, 128, 497, 25));
  EXPECT_EQ(w.imgTitleMinimize->geometry(), QRect(672, 160, 13, 13));
  // Yes and No lie exactly over Optimize and Exit.
  EXPECT_EQ(w.cmdYes->geometry(), w.cmdCompactRepair->geometry());
  EXPECT_EQ(w.cmdNo->geometry(), w.cmdExit->geometry());
  for (QWidget* glyph :
       {static_cast<QWidget*>(w.imgTitleClose), static_cast<QWidget*>(w.imgTitleHelp)})
    EXPECT_EQ(glyph->size(), QSize(13, 13));
  EXPECT_EQ(w.imgTitleLeft->size(), QSize(19, 30));
  // Centred on the screen.
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_LE(std::abs(w.geometry().center().x() - screen.center().x()), 1);
  EXPECT_LE(std::abs(w.geometry().center().y() - screen.center().y()), 1);
}

TEST(MainWindowDesign, FontsFitTheirControls) {
  frmMain w;
  const QFont status = w.lblProgress->font();
  EXPECT_DOUBLE_EQ(status.pointSizeF(), 12.0);
  EXPECT_FALSE(status.bold());
  // The start-up hint must fit on the status line: a wider fallback font overflows it.
  EXPECT_LE(QFontMetrics(status).horizontalAdvance(w.lblProgress->text()), w.lblProgress->width())
      << QFontInfo(status).family().toStdString();
  EXPECT_TRUE(w.lblProgress->alignment() & Qt::AlignHCenter);

  const QFont title = w.lblTitle->font();
  EXPECT_DOUBLE_EQ(title.pointSizeF(), 9.75);
  EXPECT_EQ(title.weight(), QFont::Bold);
  EXPECT_EQ(w.lblTitle->palette().color(QPalette::WindowText), QColor(255, 255, 255));
  EXPECT_FALSE(w.lblTitle->autoFillBackground());
  EXPECT_FALSE(w.lblProgress->autoFillBackground());
}

TEST(MainWindowDesign, StackingPutsControlsAboveImagesAndTitleOverTheBar) {
  frmMain w;
  // Later siblings are drawn above earlier ones.
  const QObjectList kids = w.children();
  auto z = [&](QObject* o) { return kids.indexOf(o); };
  const QObject* topmostFirst[] = {
      w.imgTitleMinimize, w.imgTitleClose,        w.imgTitleHelp,        w.lblProgress,
      w.lblTitle,         w.imgWindowRight,       w.imgWindowLeft,       w.imgWindowBottom,
      w.imgTitleMain,     w.imgWindowBottomRight, w.imgWindowBottomLeft, w.imgTitleRight,
      w.imgTitleLeft};
  for (size_t i = 1; i < std::size(topmostFirst); ++i)
    EXPECT_GT(z(const_cast<QObject*>(topmostFirst[i - 1])),
              z(const_cast<QObject*>(topmostFirst[i])))
        << topmostFirst[i - 1]->objectName().toStdString() << " above "
        << topmostFirst[i]->objectName().toStdString();
  for (QWidget* control : {static_cast<QWidget*>(w.txtFilePath),
                           static_cast<QWidget*>(w.ProgressBar), static_cast<QWidget*>(w.Command1),
                           static_cast<QWidget*>(w.cmdExit), static_cast<QWidget*>(w.cmdYes)})
    EXPECT_GT(z(control), z(w.imgTitleMinimize)) << control->objectName().toStdString();
}

TEST(MainWindowDesign, TabOrderAndFirstFocus) {
  frmMain w;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  EXPECT_EQ(QApplication::focusWidget(), w.txtFilePath);
  std::vector<QWidget*> order;
  QWidget* next = w.txtFilePath;
  do {
    if (next->focusPolicy() & Qt::TabFocus) order.push_back(next);
    next = next->nextInFocusChain();
  } while (next != w.txtFilePath);
  const std::vector<QWidget*> expected = {w.txtFilePath, w.cmdCompactRepair, w.cmdExit,
                                          w.Command1,    w.cmdYes,           w.cmdNo};
  EXPECT_EQ(order, expected);
  EXPECT_EQ(w.lblProgress->focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(w.lblTitle->focusPolicy(), Qt::NoFocus);
}

TEST(MainWindowDesign, AccessKeyPressesExit) {
  apptest::IsolatedStartup startup;
  frmMain w;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  QTest::keyClick(&w, Qt::Key_X, Qt::AltModifier);
  EXPECT_TRUE(apptest::waitUntil([&] { return startup.ends == 1; }, 2000));
}

TEST(MainWindowLoad, TitleCaptionAndOptimizeWithoutSettings) {
  apptest::IsolatedStartup startup;
  frmMain w;
  w.Form_Load();
  EXPECT_EQ(w.lblTitle->text(), QString("Ledgerwick Optimizer v%1.%2.%3")
                                    .arg(LW_VERSION_MAJOR)
                                    .arg(LW_VERSION_MINOR)
                                    .arg(LW_VERSION_PATCH));
  EXPECT_EQ(w.windowTitle(), w.lblTitle->text());
  // The title label sizes itself to its text.
  EXPECT_EQ(w.lblTitle->size(), w.lblTitle->sizeHint());
  EXPECT_TRUE(w.txtFilePath->text().isEmpty());
  EXPECT_EQ(ButtonStates::of(w), phase::idleNoFolder);
  EXPECT_EQ(w.lblProgress->text(),
            "Click browse to locate your database folder, then click OPTIMIZE.");
}

TEST(MainWindowLoad, SettingsFolderEnablesOptimizeEvenWithoutTheDatabase) {
  apptest::IsolatedStartup startup;
  startup.writeSettings("[Config]\ndbPath=/no/such/folder/Ledgerwick.mdb\n");
  frmMain w;
  w.Form_Load();
  EXPECT_EQ(w.txtFilePath->text(), "/no/such/folder/");
  EXPECT_EQ(ButtonStates::of(w), phase::idle);
}

}  // namespace
