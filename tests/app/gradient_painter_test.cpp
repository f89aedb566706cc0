// clsGradient against the line lists, pens and ramps it must produce, call by
// call, through a recording device context.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <QString>
#include <vector>

#include "classes/GradientRect.h"
#include "platform/MessageBox.h"
#include "platform/RuntimeError.h"
#include "platform/SysColor.h"
#include "support/RecordingDeviceContext.h"

struct GradientProbe {
  static std::int32_t paint(clsGradient& g, platform::HDC dc, std::int32_t w, std::int32_t h) {
    return g.PaintGradient(dc, w, h);
  }
  static std::pair<float, float> rotate(float cx, float cy, float px, float py, float degrees) {
    clsGradient::FloatPoint p{px, py};
    clsGradient::RotatePoint(clsGradient::FloatPoint{cx, cy}, p, degrees);
    return {p.X, p.Y};
  }
};

namespace {

constexpr std::int32_t rgb(int r, int g, int b) { return r | g << 8 | b << 16; }

struct Message {
  QString text;
  int style;
  QString title;
};

// Every test records message boxes instead of showing them.
class GradientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setMsgBoxHook([this](const QString& text, int style, const QString& title) {
      messages.push_back(Message{text, style, title});
      return 1;
    });
  }
  void TearDown() override {
    platform::setMsgBoxHook(nullptr);
    platform::setSysColorHook(nullptr);
  }
  std::vector<Message> messages;
};

std::vector<RecordedLine> verticalLines(std::vector<int> xs, int y0, int y1,
                                        const std::vector<std::int32_t>& ramp) {
  std::vector<RecordedLine> out;
  for (std::size_t k = 0; k < xs.size(); ++k) {
    out.push_back(RecordedLine{xs[k], y0, xs[k], y1, static_cast<platform::COLORREF>(ramp[k])});
  }
  return out;
}

std::vector<RecordedLine> horizontalLines(std::vector<int> ys, int x0, int x1,
                                          const std::vector<std::int32_t>& ramp) {
  std::vector<RecordedLine> out;
  for (std::size_t k = 0; k < ys.size(); ++k) {
    out.push_back(RecordedLine{x0, ys[k], x1, ys[k], static_cast<platform::COLORREF>(ramp[k])});
  }
  return out;
}

std::vector<std::int32_t> ramp(clsGradient& g, int count) {
  std::vector<std::int32_t> colors;
  g.BlendColors(g.Color1(), g.Color2(), count, colors);
  return colors;
}

TEST_F(GradientTest, InitialPropertiesAndTheirRamp) {
  clsGradient g;
  EXPECT_EQ(g.Color1(), 16777168);
  EXPECT_EQ(g.Color2(), 4194304);
  EXPECT_EQ(g.Angle(), 315.0f);
  const std::vector<std::int32_t> expected{rgb(208, 255, 255), rgb(173, 212, 223),
                                           rgb(139, 170, 191), rgb(104, 128, 159),
                                           rgb(69, 85, 128),   rgb(0, 0, 64)};
  EXPECT_EQ(ramp(g, 6), expected);
}

TEST_F(GradientTest, BlendColorsRoundsHalvesToEvenAndDoublesTheLastStep) {
  clsGradient g;
  std::vector<std::int32_t> out{7, 7, 7, 7, 7, 7, 7, 7};
  EXPECT_EQ(g.BlendColors(0, 10, 4, out), 4);
  EXPECT_EQ(out, (std::vector<std::int32_t>{0, 2, 5, 10}));
  EXPECT_EQ(g.BlendColors(0, 255, 4, out), 4);
  EXPECT_EQ(out, (std::vector<std::int32_t>{0, 64, 128, 255}));
  // Each channel on its own; 255 * 256 must not spill into blue.
  EXPECT_EQ(g.BlendColors(rgb(0, 0, 0), rgb(0, 255, 10), 4, out), 4);
  EXPECT_EQ(out, (std::vector<std::int32_t>{0, rgb(0, 64, 2), rgb(0, 128, 5), rgb(0, 255, 10)}));
  for (int steps : {1, 0, -5}) {
    EXPECT_EQ(g.BlendColors(rgb(1, 2, 3), rgb(4, 5, 6), steps, out), 2);
    EXPECT_EQ(out, (std::vector<std::int32_t>{rgb(1, 2, 3), rgb(4, 5, 6)}));
  }
  // The top byte of an end colour is kept at the ends and ignored in between.
  const std::int32_t marked = static_cast<std::int32_t>(0x80000019u);
  EXPECT_EQ(g.BlendColors(marked, 0, 3, out), 3);
  EXPECT_EQ(out, (std::vector<std::int32_t>{marked, 17, 0}));
}

TEST_F(GradientTest, AngleIsHeldInOneTurn) {
  clsGradient g;
  const std::pair<float, float> cases[] = {{-90, 270},         {450, 90},  {720, 0},
                                           {-0.000001f, 360},  {158, 158}, {359.5f, 359.5f},
                                           {-720.25f, 359.75f}};
  for (auto [set, read] : cases) {
    g.setAngle(set);
    EXPECT_EQ(g.Angle(), read) << "set " << set;
  }
}

TEST_F(GradientTest, SystemColourReferencesAreResolvedOnlyForIndexesUpTo24) {
  std::vector<int> asked;
  platform::setSysColorHook([&](int index) {
    asked.push_back(index);
    return static_cast<platform::COLORREF>(0x010203 * (index + 1));
  });
  clsGradient g;
  g.setColor1(static_cast<std::int32_t>(0x80000005u));
  EXPECT_EQ(g.Color1(), 0x010203 * 6);
  g.setColor2(static_cast<std::int32_t>(0x80000018u));
  EXPECT_EQ(g.Color2(), 0x010203 * 25);
  g.setColor1(static_cast<std::int32_t>(0x80000019u));
  EXPECT_EQ(g.Color1(), static_cast<std::int32_t>(0x80000019u));
  g.setColor2(-1);
  EXPECT_EQ(g.Color2(), -1);
  g.setColor1(0x00FFFFFF);
  EXPECT_EQ(g.Color1(), 0x00FFFFFF);
  EXPECT_EQ(asked, (std::vector<int>{5, 24}));
}

TEST_F(GradientTest, SystemColoursComeFromTheApplicationPalette) {
  const QPalette saved = QApplication::palette();
  QPalette p = saved;
  p.setColor(QPalette::Active, QPalette::ButtonText, QColor(1, 2, 3));
  p.setColor(QPalette::Active, QPalette::Button, QColor(4, 5, 6));
  p.setColor(QPalette::Active, QPalette::Highlight, QColor(7, 8, 9));
  p.setColor(QPalette::Active, QPalette::Base, QColor(10, 11, 12));
  QApplication::setPalette(p);
  EXPECT_EQ(platform::GetSysColor(platform::COLOR_BTNTEXT), 0x030201u);
  EXPECT_EQ(platform::GetSysColor(platform::COLOR_BTNFACE), 0x060504u);
  EXPECT_EQ(platform::GetSysColor(platform::COLOR_HIGHLIGHT), 0x090807u);
  EXPECT_EQ(platform::GetSysColor(platform::COLOR_WINDOW), 0x0C0B0Au);
  EXPECT_EQ(platform::GetSysColor(25), 0u);
  EXPECT_EQ(platform::GetSysColor(-1), 0u);
  clsGradient g;
  g.setColor2(static_cast<std::int32_t>(0x80000000u | platform::COLOR_BTNTEXT));
  EXPECT_EQ(g.Color2(), 0x030201);
  QApplication::setPalette(saved);
}

TEST_F(GradientTest, RotationIsCounterClockwiseOnScreen) {
  auto [x, y] = GradientProbe::rotate(5, 5, 15, 5, 90);
  EXPECT_NEAR(x, 5, 1e-5);
  EXPECT_NEAR(y, -5, 1e-5);  // right of the centre goes above it
  std::tie(x, y) = GradientProbe::rotate(0, 0, 0, 10, 90);
  EXPECT_NEAR(x, 10, 1e-5);
  EXPECT_NEAR(y, 0, 1e-5);
}

struct SmallCase {
  float angle;
  std::vector<RecordedLine> (*lines)(const std::vector<std::int32_t>&);
  int rampSize;
  std::int32_t result;
};

TEST_F(GradientTest, FourByThreeAtTheFourQuarterAngles) {
  const SmallCase cases[] = {
      {0,
       [](auto& r) {
         return verticalLines({0, 1, 2, 3, 4, 5}, 5, -3, r);
       },
       6, 12},
      {90,
       [](auto& r) {
         return horizontalLines({3, 2, 1, 0, -1}, 6, -2, r);
       },
       5, 10},
      {180,
       [](auto& r) {
         return verticalLines({4, 3, 2, 1, 0, -1}, -3, 5, r);
       },
       6, 12},
      {270,
       [](auto& r) {
         return horizontalLines({0, 1, 2, 3, 4}, -2, 6, r);
       },
       5, 10},
      // A hair below 360 is stored as 360 and swept like 0.
      {-0.000001f,
       [](auto& r) {
         return verticalLines({0, 1, 2, 3, 4, 5}, 5, -3, r);
       },
       6, 12},
  };
  for (const SmallCase& c : cases) {
    SCOPED_TRACE(c.angle);
    clsGradient g;
    g.setAngle(c.angle);
    g.setColor1(rgb(10, 20, 30));
    g.setColor2(rgb(250, 240, 230));
    RecordingDeviceContext dc(4, 3);
    EXPECT_EQ(GradientProbe::paint(g, &dc, 4, 3), c.result);
    EXPECT_EQ(dc.lines(), c.lines(ramp(g, c.rampSize))) << dc.describe();

    RecordingDeviceContext target(4, 3);
    EXPECT_TRUE(g.Draw(&target));
    EXPECT_EQ(target.lines(), dc.lines());
  }
  EXPECT_TRUE(messages.empty());
}

TEST_F(GradientTest, TwoByTwoIsTheSmallestAreaPainted) {
  clsGradient g;
  g.setAngle(0);
  RecordingDeviceContext dc(2, 2);
  EXPECT_TRUE(g.Draw(&dc));
  EXPECT_EQ(dc.lines(), verticalLines({0, 1, 2, 3}, 3, -1, ramp(g, 4)));

  for (auto [w, h] : {std::pair{1, 2}, {2, 1}, {1, 1}, {0, 50}, {50, 0}, {-3, 7}}) {
    RecordingDeviceContext small(w, h);
    EXPECT_FALSE(g.Draw(&small)) << w << "x" << h;
    ASSERT_EQ(small.calls.size(), 2u);
    EXPECT_EQ(small.calls[0].kind, GdiCall::Lock);
    EXPECT_EQ(small.calls[1].kind, GdiCall::Unlock);
  }
  RecordingDeviceContext unreadable(40, 40);
  unreadable.failClientRect = true;
  EXPECT_FALSE(g.Draw(&unreadable));
  EXPECT_EQ(unreadable.count(GdiCall::LineTo), 0);
  EXPECT_FALSE(unreadable.updatesLocked());
  EXPECT_TRUE(messages.empty());
}

TEST_F(GradientTest, FourHundredByThreeHundredAt158CallByCall) {
  clsGradient g;
  g.setAngle(158);
  g.setColor1(8013119);
  g.setColor2(14467266);
  RecordingDeviceContext dc(400, 300);
  EXPECT_TRUE(g.Draw(&dc));

  // Lock, then per line: move, new pen, select it, line, select the old one, delete.
  ASSERT_EQ(dc.calls.size(), 2u + 614u * 6u);
  EXPECT_EQ(dc.calls.front().kind, GdiCall::Lock);
  EXPECT_EQ(dc.calls.back().kind, GdiCall::Unlock);
  const std::vector<std::int32_t> colors = ramp(g, 614);
  for (std::size_t k = 0; k < 614; ++k) {
    const GdiCall* c = &dc.calls[1 + 6 * k];
    ASSERT_EQ(c[0].kind, GdiCall::MoveToEx) << k;
    ASSERT_EQ(c[1].kind, GdiCall::CreatePen) << k;
    EXPECT_EQ(c[1].style, platform::PS_SOLID);
    EXPECT_EQ(c[1].width, 1);
    EXPECT_EQ(c[1].color, static_cast<platform::COLORREF>(colors[k])) << k;
    ASSERT_EQ(c[2].kind, GdiCall::SelectObject);
    EXPECT_EQ(c[2].handle, c[1].handle);
    ASSERT_EQ(c[3].kind, GdiCall::LineTo);
    ASSERT_EQ(c[4].kind, GdiCall::SelectObject);
    EXPECT_EQ(c[4].handle, RecordingDeviceContext::kStockPen);
    ASSERT_EQ(c[5].kind, GdiCall::DeleteObject);
    EXPECT_EQ(c[5].handle, c[1].handle);
    if (k > 0) {  // one pixel further left each time
      const GdiCall* p = c - 6;
      EXPECT_EQ(c[0].x, p[0].x - 1);
      EXPECT_EQ(c[0].y, p[0].y);
      EXPECT_EQ(c[3].x, p[3].x - 1);
      EXPECT_EQ(c[3].y, p[3].y);
    }
  }
  const std::vector<RecordedLine> lines = dc.lines();
  EXPECT_EQ(lines.front(), (RecordedLine{613, -113, 400, 413, 8013119}));
  EXPECT_EQ(lines.back(), (RecordedLine{0, -113, -213, 413, 14467266}));
  EXPECT_EQ(dc.livePens(), 0);
  EXPECT_EQ(dc.selected(), RecordingDeviceContext::kStockPen);

  // The list ends on a lone start point: 1229 entries, 614 lines, result 1228.
  RecordingDeviceContext again(400, 300);
  EXPECT_EQ(GradientProbe::paint(g, &again, 400, 300), 1228);
  EXPECT_EQ(again.lines(), lines);
  EXPECT_TRUE(messages.empty());
}

TEST_F(GradientTest, LongSweepsGrowTheListAndEndPastTheFarEdge) {
  // 1500 x 20 at 0 needs more than 3000 entries, so the list grows three times.
  clsGradient g;
  g.setAngle(0);
  RecordingDeviceContext dc(1500, 20);
  EXPECT_TRUE(g.Draw(&dc));
  const std::vector<RecordedLine> lines = dc.lines();
  ASSERT_GT(lines.size(), 1500u);
  for (std::size_t k = 0; k < lines.size(); ++k) {
    ASSERT_EQ(lines[k].x0, static_cast<std::int32_t>(k));
    ASSERT_EQ(lines[k].x1, static_cast<std::int32_t>(k));
  }
  EXPECT_EQ(lines.back().x0, 1501);  // the last line pair lies wholly past x = W
  EXPECT_EQ(lines.front().color, static_cast<platform::COLORREF>(g.Color1()));
  EXPECT_EQ(lines.back().color, static_cast<platform::COLORREF>(g.Color2()));
}

TEST_F(GradientTest, EveryAngleLeavesNoPenBehindAndStartsAtTheColor1Edge) {
  clsGradient g;
  for (int angle = 0; angle < 360; angle += 7) {
    g.setAngle(static_cast<float>(angle));
    RecordingDeviceContext dc(37, 23);
    ASSERT_TRUE(g.Draw(&dc)) << angle;
    EXPECT_EQ(dc.livePens(), 0);
    EXPECT_EQ(dc.selected(), RecordingDeviceContext::kStockPen);
    EXPECT_EQ(dc.count(GdiCall::CreatePen), dc.count(GdiCall::LineTo));
    const std::vector<RecordedLine> lines = dc.lines();
    ASSERT_GE(lines.size(), 23u);
    // Consecutive lines are parallel and one pixel apart along one axis.
    for (std::size_t k = 1; k < lines.size(); ++k) {
      const int sx = lines[k].x0 - lines[k - 1].x0;
      const int sy = lines[k].y0 - lines[k - 1].y0;
      ASSERT_EQ(std::abs(sx) + std::abs(sy), 1) << angle;
      ASSERT_EQ(lines[k].x1 - lines[k - 1].x1, sx);
      ASSERT_EQ(lines[k].y1 - lines[k - 1].y1, sy);
    }
    // The gradient runs towards the angle: the Color1 end lies on the side it
    // points away from (screen y grows downwards).
    const double rad = angle * 3.14159265358979 / 180;
    const double mid0 = (lines.front().x0 + lines.front().x1) / 2.0 * std::cos(rad) -
                        (lines.front().y0 + lines.front().y1) / 2.0 * std::sin(rad);
    const double mid1 = (lines.back().x0 + lines.back().x1) / 2.0 * std::cos(rad) -
                        (lines.back().y0 + lines.back().y1) / 2.0 * std::sin(rad);
    EXPECT_LT(mid0, mid1) << angle;
  }
  EXPECT_TRUE(messages.empty());
}

TEST_F(GradientTest, MissingTargetsReportAndReleaseTheLock) {
  clsGradient g;
  EXPECT_FALSE(g.Draw(nullptr));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].style, 48);
  EXPECT_TRUE(messages[0].title.isEmpty());  // the application's own title

  struct NoSurface : RecordingDeviceContext {
    NoSurface() : RecordingDeviceContext(50, 50) {}
    platform::HDC hDC() override { return nullptr; }
  } noSurface;
  EXPECT_FALSE(g.Draw(&noSurface));
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].style, 48);
  EXPECT_FALSE(noSurface.updatesLocked());

  // Nothing was left held: another window can be locked and released.
  RecordingDeviceContext other(5, 5);
  EXPECT_TRUE(platform::LockWindowUpdate(&other));
  EXPECT_TRUE(other.updatesLocked());
  EXPECT_TRUE(platform::LockWindowUpdate(nullptr));
  EXPECT_FALSE(other.updatesLocked());
}

TEST_F(GradientTest, AnAreaTooLargeForTheLineEndsReportsOneOverflow) {
  clsGradient g;
  g.setAngle(0);
  RecordingDeviceContext huge(2000000000, 2000000000);
  EXPECT_FALSE(g.Draw(&huge));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Overflow");
  EXPECT_EQ(messages[0].style, 48);
  EXPECT_EQ(messages[0].title, "GradientRect");
  EXPECT_EQ(huge.count(GdiCall::LineTo), 0);
  EXPECT_FALSE(huge.updatesLocked());
}

TEST_F(GradientTest, ARunawayLineListFailsAsOutOfMemoryAndDrawsWhatItHas) {
  clsGradient g;
  g.setAngle(0);
  RecordingDeviceContext wide(3000000, 2);
  wide.keepCalls = false;
  EXPECT_FALSE(g.Draw(&wide));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Out of memory");
  EXPECT_EQ(messages[0].title, "GradientRect");
  EXPECT_GT(wide.count(GdiCall::LineTo), 500000);
  EXPECT_LT(wide.count(GdiCall::LineTo), 3000000);
  EXPECT_EQ(wide.livePens(), 0);
  EXPECT_FALSE(wide.updatesLocked());
}

TEST_F(GradientTest, AFailingLineIsReportedOnceAndItsPenReleased) {
  clsGradient g;
  g.setAngle(30);
  RecordingDeviceContext dc(60, 40);
  dc.onLineTo = [](std::int32_t, std::int32_t) {
    throw platform::RuntimeError(5, "Invalid procedure call or argument");
  };
  EXPECT_FALSE(g.Draw(&dc));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Invalid procedure call or argument");
  EXPECT_EQ(messages[0].title, "GradientRect");
  EXPECT_EQ(dc.livePens(), 0);
  EXPECT_EQ(dc.selected(), RecordingDeviceContext::kStockPen);
  EXPECT_FALSE(dc.updatesLocked());
}

}  // namespace
