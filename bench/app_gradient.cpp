// Times one gradient pass over the About window's area (392 x 229 at 158
// degrees: about 600 lines, one pen each) beside Qt's own linear-gradient fill
// of the same image, in one run. Prints medians in microseconds and the ratio.
#include <QApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "classes/GradientRect.h"
#include "tests/support/ImageTarget.h"

namespace {

using apptest::ImageTarget;

double medianMicros(int runs, const std::function<void()>& work) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const auto end = std::chrono::steady_clock::now();
    times.push_back(std::chrono::duration<double, std::micro>(end - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
  const int w = 392, h = 229;

  ImageTarget target(w, h);
  clsGradient g;
  g.setAngle(158);
  g.setColor1(8013119);
  g.setColor2(14467266);
  bool ok = true;
  const auto draw = [&] { ok = g.Draw(&target) && ok; };

  QImage plain(w, h, QImage::Format_RGB32);
  const auto fill = [&] {
    QPainter p(&plain);
    QLinearGradient grad(QPointF(w, h), QPointF(0, 0));
    grad.setColorAt(0, QColor(63, 69, 122));
    grad.setColorAt(1, QColor(194, 192, 220));
    p.fillRect(plain.rect(), grad);
  };

  for (int i = 0; i < 20; ++i) {  // warm up both
    draw();
    fill();
  }
  // Interleave rounds so that a noisy moment hits both alike.
  std::vector<double> drawMedians, fillMedians;
  for (int round = 0; round < 5; ++round) {
    drawMedians.push_back(medianMicros(runs / 5 + 1, draw));
    fillMedians.push_back(medianMicros(runs / 5 + 1, fill));
  }
  std::sort(drawMedians.begin(), drawMedians.end());
  std::sort(fillMedians.begin(), fillMedians.end());
  const double d = drawMedians[2], f = fillMedians[2];
  std::printf("area %dx%d, %d runs each\n", w, h, runs);
  std::printf("clsGradient::Draw (one pen per line): %8.1f us\n", d);
  std::printf("QLinearGradient fillRect:            %8.1f us\n", f);
  std::printf("ratio Draw / fill:                    %8.2f (goal: at most 5)\n", d / f);
  if (!ok) {
    std::printf("error: a Draw call reported failure\n");
    return 1;
  }
  return 0;
}
