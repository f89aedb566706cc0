// clsGradient against the lines, ramps and results its description gives,
// its failures, GDI's line pixels, and the About background on a real image.
#include <gtest/gtest.h>

#include <QImage>
#include <climits>
#include <set>
#include <utility>
#include <vector>

#include "classes/GradientRect.h"
#include "platform/DeviceContextLine.h"
#include "platform/SysColor.h"
#include "support/ImageTarget.h"
#include "support/MsgBoxRecorder.h"
#include "support/RecordingDeviceContext.h"

struct GradientProbe {
  static std::int32_t paint(clsGradient& g, platform::HDC dc, std::int32_t w, std::int32_t h) {
    return g.PaintGradient(dc, w, h);
  }
};

namespace {

using Ramp = std::vector<std::int32_t>;
constexpr std::int32_t rgb(int r, int g, int b) { return r | g << 8 | b << 16; }

Ramp ramp(clsGradient& g, int count) {
  Ramp colors;
  g.BlendColors(g.Color1(), g.Color2(), count, colors);
  return colors;
}

// Lines k = 0, 1, ... at the given x (vertical) or y (horizontal), coloured by the ramp.
std::vector<RecordedLine> sweep(bool vertical, std::vector<int> at, int from, int to,
                                const Ramp& r) {
  std::vector<RecordedLine> out;
  for (size_t k = 0; k < at.size(); ++k) {
    const auto c = static_cast<platform::COLORREF>(r[k]);
    out.push_back(vertical ? RecordedLine{at[k], from, at[k], to, c}
                           : RecordedLine{from, at[k], to, at[k], c});
  }
  return out;
}

TEST(Gradient, InitialPropertiesRampsAndAngles) {
  clsGradient g;
  EXPECT_EQ(g.Angle(), 315.0f);
  EXPECT_EQ(ramp(g, 6), (Ramp{rgb(208, 255, 255), rgb(173, 212, 223), rgb(139, 170, 191),
                              rgb(104, 128, 159), rgb(69, 85, 128), rgb(0, 0, 64)}));
  const std::int32_t marked = static_cast<std::int32_t>(0x80000019u);
  const struct {
    std::int32_t from, to;
    int steps;
    Ramp out;
  } blends[] = {
      {0, 10, 4, {0, 2, 5, 10}},  // a step of 2.5; halves round to even
      {0, 255, 4, {0, 64, 128, 255}},
      {0, rgb(0, 255, 10), 4, {0, rgb(0, 64, 2), rgb(0, 128, 5), rgb(0, 255, 10)}},
      {rgb(1, 2, 3), rgb(4, 5, 6), 1, {rgb(1, 2, 3), rgb(4, 5, 6)}},
      {rgb(1, 2, 3), rgb(4, 5, 6), 0, {rgb(1, 2, 3), rgb(4, 5, 6)}},
      {marked, 0, 3, {marked, 17, 0}},  // the top byte is kept at the ends only
  };
  for (const auto& b : blends) {
    Ramp out{7, 7, 7, 7, 7, 7};
    EXPECT_EQ(g.BlendColors(b.from, b.to, b.steps, out), static_cast<int>(b.out.size()));
    EXPECT_EQ(out, b.out) << b.from << " to " << b.to << " in " << b.steps;
  }
  for (auto [set, read] : {std::pair{-90.f, 270.f},
                           {450.f, 90.f},
                           {720.f, 0.f},
                           {-0.000001f, 360.f},
                           {-720.25f, 359.75f}}) {
    g.setAngle(set);
    EXPECT_EQ(g.Angle(), read) << set;
  }
  platform::setSysColorHook([](int index) { return platform::COLORREF(0x010203 * (index + 1)); });
  g.setColor1(static_cast<std::int32_t>(0x80000005u));
  EXPECT_EQ(g.Color1(), 0x010203 * 6);
  g.setColor2(marked);  // index 25 is no system colour
  EXPECT_EQ(g.Color2(), marked);
  platform::setSysColorHook(nullptr);
}

TEST(Gradient, LinesOfTheDescribedAreas) {
  const struct {
    int w, h;
    float angle;
    bool vertical;
    std::vector<int> at;
    int from, to, rampSize, result;
  } cases[] = {
      {4, 3, 0, true, {0, 1, 2, 3, 4, 5}, 5, -3, 6, 12},
      {4, 3, 90, false, {3, 2, 1, 0, -1}, 6, -2, 5, 10},
      {4, 3, 180, true, {4, 3, 2, 1, 0, -1}, -3, 5, 6, 12},
      {4, 3, 270, false, {0, 1, 2, 3, 4}, -2, 6, 5, 10},
      {4, 3, -0.000001f, true, {0, 1, 2, 3, 4, 5}, 5, -3, 6, 12},  // stored as 360
      {2, 2, 0, true, {0, 1, 2, 3}, 3, -1, 4, 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.angle);
    clsGradient g;
    g.setAngle(c.angle);
    g.setColor1(rgb(10, 20, 30));
    g.setColor2(rgb(250, 240, 230));
    RecordingDeviceContext dc(c.w, c.h);
    EXPECT_EQ(GradientProbe::paint(g, &dc, c.w, c.h), c.result);
    EXPECT_EQ(dc.lines, sweep(c.vertical, c.at, c.from, c.to, ramp(g, c.rampSize)));
    RecordingDeviceContext target(c.w, c.h);
    EXPECT_TRUE(g.Draw(&target));
    EXPECT_EQ(target.lines, dc.lines);
    EXPECT_TRUE(target.clean());
  }
}

TEST(Gradient, AboutAreaEndsOnALoneStartPoint) {
  clsGradient g;
  g.setAngle(158);
  g.setColor1(8013119);
  g.setColor2(14467266);
  RecordingDeviceContext dc(400, 300);
  EXPECT_EQ(GradientProbe::paint(g, &dc, 400, 300), 1228);  // 1229 entries, 614 lines
  ASSERT_EQ(dc.lines.size(), 614u);
  EXPECT_EQ(dc.lines.front(), (RecordedLine{613, -113, 400, 413, 8013119}));
  EXPECT_EQ(dc.lines.back(), (RecordedLine{0, -113, -213, 413, 14467266}));
  EXPECT_TRUE(dc.clean());
}

TEST(Gradient, AreasTooSmallOrMissingAreNotPaintedAndReleaseTheLock) {
  MsgBoxRecorder boxes;
  clsGradient g;
  g.setAngle(0);
  for (auto [w, h] : {std::pair{1, 2}, {2, 1}, {0, 50}, {-3, 7}}) {
    RecordingDeviceContext small(w, h);
    EXPECT_FALSE(g.Draw(&small)) << w << "x" << h;
    EXPECT_TRUE(small.lines.empty());
    EXPECT_TRUE(small.clean());
  }
  RecordingDeviceContext unreadable(40, 40);
  unreadable.failClientRect = true;
  EXPECT_FALSE(g.Draw(&unreadable));
  EXPECT_TRUE(boxes.boxes.empty());

  EXPECT_FALSE(g.Draw(nullptr));
  struct NoSurface : RecordingDeviceContext {
    NoSurface() : RecordingDeviceContext(50, 50) {}
    platform::HDC hDC() override { return nullptr; }
  } noSurface;
  EXPECT_FALSE(g.Draw(&noSurface));
  EXPECT_TRUE(noSurface.clean());
  ASSERT_EQ(boxes.boxes.size(), 2u);
  for (const auto& b : boxes.boxes) EXPECT_TRUE(b.style == 48 && b.title.isEmpty());
}

using Pixels = std::set<std::pair<int, int>>;

// GDI's line walk written out plainly over every pixel of the line, as the
// reference for the clipped walk that skips to the visible part.
Pixels referenceLine(int x0, int y0, int x1, int y1, int width, int height) {
  Pixels out;
  const long dx = x1 - x0, dy = y1 - y0, adx = std::labs(dx), ady = std::labs(dy);
  const bool xMajor = adx >= ady;
  const long major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
  const long bias = platform::LineOctantBias(platform::LineOctant(dx, dy)) ? 1 : 0;
  long x = x0, y = y0, err = 2 * minor - major;
  for (long k = 0; k < major; ++k) {
    if (x >= 0 && x < width && y >= 0 && y < height) out.insert({int(x), int(y)});
    if (err + bias > 0) {
      (xMajor ? y : x) += (xMajor ? dy : dx) < 0 ? -1 : 1;
      err += 2 * (minor - major);
    } else {
      err += 2 * minor;
    }
    (xMajor ? x : y) += (xMajor ? dx : dy) < 0 ? -1 : 1;
  }
  return out;
}

Pixels clippedLine(int x0, int y0, int x1, int y1, int width, int height) {
  Pixels out;
  platform::RasteriseLine(x0, y0, x1, y1, width, height, [&](int x, int y) {
    EXPECT_TRUE(out.insert({x, y}).second) << "pixel painted twice";
  });
  return out;
}

TEST(GdiLine, StartPaintedEndLeftOutTiesByOctant) {
  EXPECT_EQ(
      clippedLine(1, 1, 11, 4, 20, 20),
      (Pixels{{1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 2}, {6, 2}, {7, 3}, {8, 3}, {9, 3}, {10, 4}}));
  // An exact tie steps late going right and early coming back.
  EXPECT_EQ(clippedLine(0, 0, 2, 1, 9, 9), (Pixels{{0, 0}, {1, 0}}));
  EXPECT_EQ(clippedLine(2, 1, 0, 0, 9, 9), (Pixels{{2, 1}, {1, 0}}));
  EXPECT_TRUE(clippedLine(3, 3, 3, 3, 9, 9).empty());
}

TEST(GdiLine, ClippedWalkMatchesTheFullWalk) {
  for (int x0 = -4; x0 <= 10; ++x0)
    for (int y0 = -4; y0 <= 8; ++y0)
      for (int x1 = -4; x1 <= 10; ++x1)
        for (int y1 = -4; y1 <= 8; ++y1)
          ASSERT_EQ(clippedLine(x0, y0, x1, y1, 7, 5), referenceLine(x0, y0, x1, y1, 7, 5))
              << x0 << "," << y0 << " -> " << x1 << "," << y1;
  const int far[][4] = {{-100000, -3, 100000, 4},
                        {613, -113, 400, 413},
                        {5, -70000, 9, 70000},
                        {300, 900, -500, -900}};
  for (const auto& c : far)
    EXPECT_EQ(clippedLine(c[0], c[1], c[2], c[3], 400, 300),
              referenceLine(c[0], c[1], c[2], c[3], 400, 300));
  // Across the whole 32-bit range: half way, 1.5 of 3 rows have been stepped.
  Pixels row2;
  for (int x = 0; x < 8; ++x) row2.insert({x, 2});
  EXPECT_EQ(clippedLine(INT32_MIN, 0, INT32_MAX, 3, 8, 4), row2);
}

TEST(GdiLine, AboutBackgroundCoversEveryPixelAsTheLinesSay) {
  MsgBoxRecorder boxes;
  clsGradient g;
  g.setAngle(158);
  g.setColor1(8013119);
  g.setColor2(14467266);
  const QRgb sentinel = qRgb(0, 255, 0);  // no colour of this ramp
  apptest::ImageTarget target(392, 229);
  target.image.fill(sentinel);
  ASSERT_TRUE(g.Draw(&target));
  EXPECT_EQ(target.dc.livePens(), 0);
  // The same lines, recorded and drawn pixel by pixel with the plain walk.
  RecordingDeviceContext rec(392, 229);
  ASSERT_TRUE(g.Draw(&rec));
  QImage expected(392, 229, QImage::Format_RGB32);
  expected.fill(sentinel);
  for (const RecordedLine& l : rec.lines)
    for (auto [x, y] : referenceLine(l.x0, l.y0, l.x1, l.y1, 392, 229))
      expected.setPixel(x, y, qRgb(l.color & 0xFF, (l.color >> 8) & 0xFF, (l.color >> 16) & 0xFF));
  EXPECT_TRUE(target.image == expected);
  int uncovered = 0;
  for (int y = 0; y < 229; ++y)
    for (int x = 0; x < 392; ++x) uncovered += target.image.pixel(x, y) == sentinel;
  EXPECT_EQ(uncovered, 0);
  // From Color1 (red 63) at the bottom right to Color2 (red 194) at the top left.
  EXPECT_LT(qRed(target.image.pixel(391, 228)), 80);
  EXPECT_GT(qRed(target.image.pixel(0, 0)), 180);
  EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
