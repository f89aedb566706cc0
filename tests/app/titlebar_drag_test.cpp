// Pressing the title bar moves the window; nothing else does.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include "forms/frmMain.h"
#include "platform/WindowMove.h"

namespace {

// Counts the moves asked for instead of moving anything.
class MoveRecorder : public platform::WindowMove {
 public:
  void start(QWidget& window) override { started.push_back(&window); }
  std::vector<QWidget*> started;
};

class TitleBar : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
    form_.Form_Load();
    form_.move(100, 100);
    form_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
    window_ = form_.windowHandle();
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override { platform::setWindowMove(nullptr); }

  // A press at window point `p`, routed as a real one would be. The button
  // comes up off the element, so no press here is also a click (a click on
  // the help glyph would open the About window and wait).
  void pressAt(QPoint p, Qt::MouseButton button) {
    QTest::mousePress(window_, button, {}, p);
    QTest::mouseRelease(window_, button, {}, QPoint(-40, -40));
  }

  QTemporaryDir config_;
  frmMain form_;
  QWindow* window_ = nullptr;
};

TEST_F(TitleBar, AnyButtonOnATitleElementStartsAMove) {
  MoveRecorder recorder;
  platform::setWindowMove(&recorder);
  const struct {
    const char* where;
    QPoint p;
  } spots[] = {{"imgTitleLeft", {5, 15}},
               {"imgTitleMain", {250, 15}},
               {"imgTitleRight", {488, 25}},
               {"lblTitle", form_.lblTitle->geometry().center()}};
  for (const auto& s : spots) {
    for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
      recorder.started.clear();
      pressAt(s.p, b);
      ASSERT_EQ(recorder.started.size(), 1u) << s.where << " button " << int(b);
      EXPECT_EQ(recorder.started[0], &form_);
    }
  }
}

TEST_F(TitleBar, BordersGlyphsAndTheClientAreaDoNotMove) {
  MoveRecorder recorder;
  platform::setWindowMove(&recorder);
  const struct {
    const char* where;
    QPoint p;
  } spots[] = {{"left border", {5, 80}},
               {"right border", {488, 80}},
               {"bottom band", {250, 156}},
               {"bottom-left corner", {10, 157}},
               {"bottom-right corner", {484, 157}},
               {"help glyph", {461, 14}},
               {"close glyph", {478, 14}},
               {"grey client area", {25, 40}},
               {"status line", {250, 140}},
               {"folder box", form_.txtFilePath->geometry().center()},
               {"progress bar", {250, 170}}};
  for (const auto& s : spots) {
    pressAt(s.p, Qt::LeftButton);
    // (A right press on the folder box would open its context menu.)
    if (std::string(s.where) != "folder box") pressAt(s.p, Qt::RightButton);
    EXPECT_TRUE(recorder.started.empty()) << s.where;
    recorder.started.clear();
  }
}

// Offscreen there is no window manager move, so the window follows the
// pointer by hand until the button is released.
TEST_F(TitleBar, WindowFollowsThePointerUntilRelease) {
  const QPoint start = form_.pos();
  const QPoint grab(200, 12);
  const QPoint pressGlobal = start + grab;
  auto moveTo = [&](QPoint global) { QTest::mouseMove(window_, window_->mapFromGlobal(global)); };
  QTest::mousePress(window_, Qt::LeftButton, {}, grab);
  moveTo(pressGlobal + QPoint(40, 20));
  EXPECT_EQ(form_.pos(), start + QPoint(40, 20));
  moveTo(pressGlobal + QPoint(100, -30));
  EXPECT_EQ(form_.pos(), start + QPoint(100, -30));
  QTest::mouseRelease(window_, Qt::LeftButton, {},
                      window_->mapFromGlobal(pressGlobal + QPoint(100, -30)));
  EXPECT_EQ(form_.pos(), start + QPoint(100, -30));

  // After the release the pointer moves alone.
  const QPoint rest = form_.pos();
  moveTo(pressGlobal + QPoint(300, 200));
  EXPECT_EQ(form_.pos(), rest);

  // A press on the border does not drag it along either.
  const QPoint border(5, 80);
  QTest::mousePress(window_, Qt::LeftButton, {}, border);
  moveTo(rest + border + QPoint(30, 30));
  QTest::mouseRelease(window_, Qt::LeftButton, {}, border + QPoint(30, 30));
  EXPECT_EQ(form_.pos(), rest);
}

TEST_F(TitleBar, RightButtonDragAlsoMovesAndEndsOnItsRelease) {
  const QPoint start = form_.pos();
  const QPoint grab = form_.lblTitle->geometry().center();
  QTest::mousePress(window_, Qt::RightButton, {}, grab);
  QTest::mouseMove(window_, window_->mapFromGlobal(start + grab + QPoint(-15, 25)));
  EXPECT_EQ(form_.pos(), start + QPoint(-15, 25));
  QTest::mouseRelease(window_, Qt::RightButton, {}, grab);
  const QPoint rest = form_.pos();
  QTest::mouseMove(window_, QPoint(300, 100));
  EXPECT_EQ(form_.pos(), rest);
}

}  // namespace
