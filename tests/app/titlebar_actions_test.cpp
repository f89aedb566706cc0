// The title glyphs: close ends the program without a question, minimize
// minimizes but can never be reached, help opens the About window modally.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "forms/frmMain.h"
#include "platform/Application.h"
#include "support/MsgBoxRecorder.h"

namespace {

class TitleGlyphs : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
    platform::setEndHook([this] { ++ends_; });
    form_.Form_Load();
    form_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
  }
  void TearDown() override { platform::setEndHook({}); }

  // A left click at window point `p`, routed as a real one would be.
  void clickAt(QPoint p) { QTest::mouseClick(form_.windowHandle(), Qt::LeftButton, {}, p); }

  QTemporaryDir config_;
  MsgBoxRecorder boxes_;
  int ends_ = 0;
  frmMain form_;
};

TEST_F(TitleGlyphs, CloseUnloadsTheWindowAndEndsTheProgram) {
  clickAt(QPoint(478, 14));
  EXPECT_EQ(ends_, 1);
  EXPECT_FALSE(form_.isVisible());
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(TitleGlyphs, CloseAsksNothingWhileTheSequenceWaitsForAnAnswer) {
  // The window as it stands when asking "Back-up original database file?".
  form_.cmdCompactRepair->hide();
  form_.cmdExit->hide();
  form_.cmdYes->show();
  form_.cmdNo->show();
  form_.Timer1->start();
  clickAt(QPoint(478, 14));
  EXPECT_EQ(ends_, 1);
  EXPECT_FALSE(form_.isVisible());
  EXPECT_TRUE(boxes_.boxes.empty());
  form_.Timer1->stop();
}

TEST_F(TitleGlyphs, OnlyALeftClickOnTheGlyphCloses) {
  QTest::mouseClick(form_.windowHandle(), Qt::RightButton, {}, QPoint(478, 14));
  clickAt(QPoint(470, 14));  // the gap beside it is title bar
  EXPECT_EQ(ends_, 0);
  EXPECT_TRUE(form_.isVisible());
}

TEST_F(TitleGlyphs, MinimizeGlyphMinimizesButNoPointOfTheWindowReachesIt) {
  for (int y = 0; y < form_.height(); ++y)
    for (int x = 0; x < form_.width(); ++x)
      ASSERT_NE(form_.childAt(x, y), form_.imgTitleMinimize) << x << "," << y;
  EXPECT_FALSE(form_.isMinimized());
  emit form_.imgTitleMinimize->Click();
  EXPECT_TRUE(form_.isMinimized());
  EXPECT_EQ(ends_, 0);
}

}  // namespace
