// The title glyphs: close ends the program without a question, minimize
// minimizes but can never be reached, help opens the About window modally.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "forms/frmAbout.h"
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

TEST_F(TitleGlyphs, HelpShowsTheAboutWindowModallyWithoutOwner) {
  int seen = 0;
  bool modal = false, owned = true;
  // Looks at whatever modal window is up, then closes it, so nothing blocks.
  QTimer probe;
  probe.setInterval(20);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    QWidget* w = QApplication::activeModalWidget();
    if (!w) return;
    if (auto* about = qobject_cast<frmAbout*>(w)) {
      ++seen;
      modal = about->isModal() && about->isVisible();
      owned = about->parentWidget() != nullptr;
      // Meanwhile the main window takes no input: neither the close glyph
      // nor a second help click gets through.
      clickAt(QPoint(478, 14));
      clickAt(QPoint(461, 14));
    }
    w->close();
  });
  probe.start();
  clickAt(QPoint(461, 14));  // returns when the About window has closed
  probe.stop();
  EXPECT_EQ(seen, 1);
  EXPECT_TRUE(modal);
  EXPECT_FALSE(owned);
  EXPECT_EQ(ends_, 0);
  EXPECT_TRUE(form_.isVisible());
}

}  // namespace
