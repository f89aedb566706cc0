// The title bar: close ends the program without a question, help opens the
// About window modally, minimize can never be reached, and pressing a title
// element, and nothing else, moves the window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include "forms/frmAbout.h"
#include "platform/WindowMove.h"
#include "support/AppTesting.h"

namespace {

// Counts the moves asked for instead of moving anything.
struct MoveRecorder : platform::WindowMove {
  void start(QWidget&) override { ++started; }
  int started = 0;
};

class TitleBar : public ::testing::Test {
 protected:
  void SetUp() override {
    form.Form_Load();
    form.move(100, 100);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    window = form.windowHandle();
  }
  void TearDown() override { platform::setWindowMove(nullptr); }
  void clickAt(QPoint p, Qt::MouseButton b = Qt::LeftButton) {
    QTest::mouseClick(window, b, {}, p);
  }

  apptest::IsolatedStartup startup;
  MsgBoxRecorder boxes;
  frmMain form;
  QWindow* window = nullptr;
};

TEST_F(TitleBar, OnlyALeftClickOnTheCloseGlyphEndsAndItAsksNothing) {
  clickAt(QPoint(478, 14), Qt::RightButton);
  clickAt(QPoint(470, 14));  // the gap beside it is title bar
  EXPECT_EQ(startup.ends, 0);
  // Also while the sequence waits for an answer.
  form.cmdCompactRepair->hide();
  form.cmdYes->show();
  clickAt(QPoint(478, 14));
  EXPECT_EQ(startup.ends, 1);
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(TitleBar, HelpShowsTheAboutWindowModallyWithoutOwner) {
  int seen = 0;
  bool modal = false, owned = true;
  QTimer probe;  // looks at the modal window once it is up, then closes it
  probe.setInterval(20);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    auto* about = qobject_cast<frmAbout*>(QApplication::activeModalWidget());
    if (!about) return;
    ++seen;
    modal = about->isModal() && about->isVisible();
    owned = about->parentWidget() != nullptr;
    // Meanwhile the main window takes no input.
    clickAt(QPoint(478, 14));
    clickAt(QPoint(461, 14));
    about->close();
  });
  probe.start();
  clickAt(QPoint(461, 14));  // returns when the About window has closed
  EXPECT_EQ(seen, 1);
  EXPECT_TRUE(modal);
  EXPECT_FALSE(owned);
  EXPECT_EQ(startup.ends, 0);
}

TEST_F(TitleBar, MinimizeGlyphMinimizesButNoPointReachesIt) {
  for (int y = 0; y < form.height(); ++y)
    for (int x = 0; x < form.width(); ++x) ASSERT_NE(form.childAt(x, y), form.imgTitleMinimize);
  emit form.imgTitleMinimize->Click();
  EXPECT_TRUE(form.isMinimized());
}

TEST_F(TitleBar, AnyButtonOnATitleElementStartsAMoveAndNothingElseDoes) {
  MoveRecorder recorder;
  platform::setWindowMove(&recorder);
  // Title pieces and text; borders, corners, glyphs, client area, status, bar.
  const std::pair<QPoint, int> spots[] = {
      {{5, 15}, 3},   {{250, 15}, 3}, {{488, 25}, 3}, {form.lblTitle->geometry().center(), 3},
      {{5, 80}, 0},   {{488, 80}, 0}, {{10, 157}, 0}, {{250, 156}, 0},
      {{461, 14}, 0}, {{478, 14}, 0}, {{25, 40}, 0},  {{250, 140}, 0},
      {{250, 170}, 0}};
  for (auto [p, moves] : spots) {
    recorder.started = 0;
    // The button comes up off the element, so no press here is also a click.
    for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
      QTest::mousePress(window, b, {}, p);
      QTest::mouseRelease(window, b, {}, QPoint(-40, -40));
    }
    EXPECT_EQ(recorder.started, moves) << p.x() << "," << p.y();
  }
}

// Offscreen there is no window manager move, so the window follows the
// pointer by hand until the button that started it is released.
TEST_F(TitleBar, WindowFollowsThePointerUntilRelease) {
  for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton}) {
    const QPoint start = form.pos(), grab(200, 12);
    auto moveTo = [&](QPoint d) {
      QTest::mouseMove(window, window->mapFromGlobal(start + grab + d));
    };
    QTest::mousePress(window, b, {}, grab);
    moveTo({40, 20});
    EXPECT_EQ(form.pos(), start + QPoint(40, 20));
    moveTo({100, -30});
    QTest::mouseRelease(window, b, {}, window->mapFromGlobal(start + grab + QPoint(100, -30)));
    EXPECT_EQ(form.pos(), start + QPoint(100, -30));
    moveTo({300, 200});
    EXPECT_EQ(form.pos(), start + QPoint(100, -30)) << "moved after the release";
  }
  // A press on the border does not drag the window along.
  const QPoint rest = form.pos();
  QTest::mousePress(window, Qt::LeftButton, {}, QPoint(5, 80));
  QTest::mouseMove(window, QPoint(35, 110));
  QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(35, 110));
  EXPECT_EQ(form.pos(), rest);
}

}  // namespace
