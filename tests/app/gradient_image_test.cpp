// The painter on a real image: GDI's line pixels, full coverage and the
// colours at the corners of the About window's background.
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>
#include <climits>
#include <set>
#include <utility>
#include <vector>

#include "classes/GradientRect.h"
#include "platform/DeviceContextImage.h"
#include "platform/DeviceContextLine.h"
#include "platform/DeviceContextWidget.h"
#include "platform/MessageBox.h"
#include "support/ImageTarget.h"
#include "support/RecordingDeviceContext.h"

namespace {

using Pixels = std::set<std::pair<int, int>>;

// GDI's line walk written out plainly over every pixel of the line, as the
// reference for the clipped walk that skips to the visible part.
Pixels referenceLine(int x0, int y0, int x1, int y1, int width, int height) {
  Pixels out;
  const long dx = x1 - x0, dy = y1 - y0;
  const long adx = std::labs(dx), ady = std::labs(dy);
  const bool xMajor = adx >= ady;
  const long major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
  const int octant = platform::LineOctant(dx, dy);
  const long bias = (octant == 3 || octant == 5 || octant == 6 || octant == 8) ? 1 : 0;
  long x = x0, y = y0, err = 2 * minor - major;
  const int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
  for (long k = 0; k < major; ++k) {
    if (x >= 0 && x < width && y >= 0 && y < height) out.insert({int(x), int(y)});
    if (err + bias > 0) {
      if (xMajor)
        y += sy;
      else
        x += sx;
      err += 2 * (minor - major);
    } else {
      err += 2 * minor;
    }
    if (xMajor)
      x += sx;
    else
      y += sy;
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
  // Rows ##, ####, ###, # as GDI draws (1,1)-(11,4).
  EXPECT_EQ(
      clippedLine(1, 1, 11, 4, 20, 20),
      (Pixels{{1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 2}, {6, 2}, {7, 3}, {8, 3}, {9, 3}, {10, 4}}));
  // An exact tie steps late going right and early coming back.
  EXPECT_EQ(clippedLine(0, 0, 2, 1, 9, 9), (Pixels{{0, 0}, {1, 0}}));
  EXPECT_EQ(clippedLine(2, 1, 0, 0, 9, 9), (Pixels{{2, 1}, {1, 0}}));
  EXPECT_TRUE(clippedLine(3, 3, 3, 3, 9, 9).empty());
  EXPECT_EQ(clippedLine(3, 3, 3, 0, 9, 9), (Pixels{{3, 3}, {3, 2}, {3, 1}}));
}

TEST(GdiLine, ClippedWalkMatchesTheFullWalkForEveryShortLine) {
  const int w = 7, h = 5;
  int checked = 0;
  for (int x0 = -4; x0 <= 10; ++x0)
    for (int y0 = -4; y0 <= 8; ++y0)
      for (int x1 = -4; x1 <= 10; ++x1)
        for (int y1 = -4; y1 <= 8; ++y1) {
          ASSERT_EQ(clippedLine(x0, y0, x1, y1, w, h), referenceLine(x0, y0, x1, y1, w, h))
              << x0 << "," << y0 << " -> " << x1 << "," << y1;
          ++checked;
        }
  EXPECT_EQ(checked, 15 * 13 * 15 * 13);
}

TEST(GdiLine, LongLinesFarOutsideAreClippedExactly) {
  const int cases[][4] = {{-100000, -3, 100000, 4}, {613, -113, 400, 413},  {-213, 413, 0, -113},
                          {5, -70000, 9, 70000},    {300, 900, -500, -900}, {-50, 10, 500, 11}};
  for (const auto& c : cases) {
    EXPECT_EQ(clippedLine(c[0], c[1], c[2], c[3], 400, 300),
              referenceLine(c[0], c[1], c[2], c[3], 400, 300))
        << c[0] << "," << c[1] << " -> " << c[2] << "," << c[3];
  }
}

TEST(GdiLine, ExtremeEndPointsNeitherOverflowNorWander) {
  // Half way along a line across the whole 32-bit range, 1.5 of its 3 rows
  // have been stepped: every visible pixel lies on row 2.
  Pixels expected;
  for (int x = 0; x < 8; ++x) expected.insert({x, 2});
  EXPECT_EQ(clippedLine(INT32_MIN, 0, INT32_MAX, 3, 8, 4), expected);
  EXPECT_EQ(clippedLine(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, 8, 4).size(), 4u);
}

TEST(ImageDeviceContext, PensBehaveAsGdiPensDo) {
  QImage image(8, 4, QImage::Format_RGB32);
  image.fill(Qt::white);
  platform::ImageDeviceContext dc(&image);
  const platform::HPEN red = dc.CreatePen(platform::PS_SOLID, 1, 0x0000FF);
  EXPECT_EQ(dc.SelectObject(red), platform::ImageDeviceContext::kBlackPen);
  EXPECT_FALSE(dc.DeleteObject(red));  // still selected
  EXPECT_EQ(dc.SelectObject(999), 0u);
  platform::POINT previous;
  EXPECT_TRUE(dc.MoveToEx(1, 1, &previous));
  EXPECT_TRUE(dc.LineTo(4, 1));
  EXPECT_TRUE(dc.LineTo(4, 3));  // goes on from the last end point
  EXPECT_EQ(dc.SelectObject(platform::ImageDeviceContext::kBlackPen), red);
  EXPECT_TRUE(dc.DeleteObject(red));
  EXPECT_EQ(dc.livePens(), 0);
  EXPECT_TRUE(dc.MoveToEx(0, 0, &previous));
  EXPECT_EQ(previous.x, 4);
  EXPECT_EQ(previous.y, 3);

  EXPECT_EQ(image.pixel(1, 1), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(3, 1), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(4, 1), qRgb(255, 0, 0));  // start of the second line
  EXPECT_EQ(image.pixel(4, 2), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(4, 3), qRgb(255, 255, 255));  // end point left out
  EXPECT_EQ(image.pixel(0, 1), qRgb(255, 255, 255));
}

TEST(WindowLock, OneWindowAtATimeAndNothingLeftHeld) {
  QWidget a;
  QWidget b;
  a.resize(30, 20);
  platform::WidgetWindow wa(&a);
  platform::WidgetWindow wb(&b);
  platform::RECT r;
  ASSERT_TRUE(platform::GetClientRect(&wa, &r));
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.right, 30);
  EXPECT_EQ(r.bottom, 20);

  EXPECT_TRUE(platform::LockWindowUpdate(&wa));
  EXPECT_FALSE(a.updatesEnabled());
  EXPECT_FALSE(platform::LockWindowUpdate(&wb));  // one window at a time
  EXPECT_TRUE(b.updatesEnabled());
  EXPECT_TRUE(platform::LockWindowUpdate(nullptr));
  EXPECT_TRUE(a.updatesEnabled());

  {
    platform::WidgetWindow passing(&b);
    EXPECT_TRUE(platform::LockWindowUpdate(&passing));
    EXPECT_FALSE(b.updatesEnabled());
  }
  EXPECT_TRUE(b.updatesEnabled());               // released as it went
  EXPECT_TRUE(platform::LockWindowUpdate(&wa));  // and no longer counted as held
  EXPECT_TRUE(platform::LockWindowUpdate(nullptr));

  auto* gone = new QWidget;
  platform::WidgetWindow wg(gone);
  delete gone;
  EXPECT_FALSE(platform::GetClientRect(&wg, &r));
  EXPECT_FALSE(platform::GetClientRect(nullptr, &r));
}

using apptest::ImageTarget;

QRgb rgbOf(std::int32_t c) { return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

int distance(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
         std::abs(qBlue(a) - qBlue(b));
}

TEST(GradientImage, AboutBackgroundCoversEveryPixelWithTheRightCorners) {
  platform::setMsgBoxHook([](const QString& text, int, const QString&) {
    ADD_FAILURE() << text.toStdString();
    return 1;
  });
  clsGradient g;
  g.setAngle(158);
  g.setColor1(8013119);
  g.setColor2(14467266);
  const QRgb sentinel = qRgb(0, 255, 0);  // no colour of this ramp
  ImageTarget target(392, 229);
  target.image.fill(sentinel);
  ASSERT_TRUE(g.Draw(&target));
  EXPECT_EQ(target.dc.livePens(), 0);

  // The same lines, recorded and drawn pixel by pixel with the plain walk.
  RecordingDeviceContext rec(392, 229);
  ASSERT_TRUE(g.Draw(&rec));
  QImage expected(392, 229, QImage::Format_RGB32);
  expected.fill(sentinel);
  for (const RecordedLine& l : rec.lines()) {
    for (auto [x, y] : referenceLine(l.x0, l.y0, l.x1, l.y1, 392, 229)) {
      expected.setPixel(x, y, rgbOf(static_cast<std::int32_t>(l.color)));
    }
  }
  int uncovered = 0;
  for (int y = 0; y < 229; ++y)
    for (int x = 0; x < 392; ++x) uncovered += target.image.pixel(x, y) == sentinel ? 1 : 0;
  EXPECT_EQ(uncovered, 0);
  EXPECT_TRUE(target.image == expected);

  // The colour runs up and to the left (158 degrees) from Color1 to Color2:
  // the bottom right lies nearest Color1, the top left nearest Color2. Each
  // pixel's colour is the ramp's at its distance, in lines, from the first
  // line, give or take the rounding of the line pixels.
  const std::vector<RecordedLine> lines = rec.lines();
  const RecordedLine& first = lines.front();
  const double count = static_cast<double>(lines.size());
  const QRgb c1 = rgbOf(8013119), c2 = rgbOf(14467266);
  for (auto [x, y] : {std::pair{391, 228}, {391, 0}, {0, 228}, {0, 0}, {196, 114}}) {
    const double firstX =
        first.x0 + double(y - first.y0) * (first.x1 - first.x0) / (first.y1 - first.y0);
    const double k = firstX - x;  // lines are swept leftwards, one pixel apart
    const QRgb got = target.image.pixel(x, y);
    EXPECT_NEAR(qRed(got), qRed(c1) + k * (qRed(c2) - qRed(c1)) / count, 2) << x << "," << y;
    EXPECT_NEAR(qGreen(got), qGreen(c1) + k * (qGreen(c2) - qGreen(c1)) / count, 2);
    EXPECT_NEAR(qBlue(got), qBlue(c1) + k * (qBlue(c2) - qBlue(c1)) / count, 2);
  }
  const QRgb bottomRight = target.image.pixel(391, 228), topLeft = target.image.pixel(0, 0);
  EXPECT_LT(distance(bottomRight, c1), distance(bottomRight, c2));
  EXPECT_LT(distance(topLeft, c2), distance(topLeft, c1));
  platform::setMsgBoxHook(nullptr);
}

}  // namespace
