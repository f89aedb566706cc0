#include "tools/AppIcon.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QStringList>
#include <algorithm>
#include <cstdio>

namespace appicon {

const QRgb kPalette16[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                             0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                             0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

int pixel(int size, int x, int y) {
  const int m = size / 16;  // 1 at 16 x 16, 2 at 32 x 32
  const int hi = size - 1;
  const int dx = std::min(x, hi - x), dy = std::min(y, hi - y);
  if (dx + dy < m) return kClear;  // clipped corners
  const int d = std::min(dx, dy);  // distance from the outer edge
  const bool topLeft = std::min(x, y) < std::min(hi - x, hi - y);
  if (d == 0) return kBlack;
  if (d <= 2 * m) return topLeft ? kWhite : kGrey;  // raised bevel
  if (d == 4 * m) return topLeft ? kGrey : kWhite;  // sunken well
  if (d > 4 * m) return kNavy;
  return kSilver;
}

namespace {

constexpr int kSvgSize = 256;

QImage draw(int size) {
  QImage img(size, size, QImage::Format_ARGB32);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const int i = pixel(size, x, y);
      img.setPixel(x, y, i == kClear ? 0u : (0xFF000000u | kPalette16[i]));
    }
  return img;
}

QString colour(int index) { return QString("#%1").arg(kPalette16[index], 6, 16, QChar('0')); }

// xy: the corners as x, y pairs.
QString polygon(std::initializer_list<int> xy, int index) {
  QStringList points;
  for (auto p = xy.begin(); p + 1 < xy.end(); p += 2)
    points << QString("%1,%2").arg(p[0]).arg(p[1]);
  return QString("  <polygon fill=\"%1\" points=\"%2\"/>\n").arg(colour(index), points.join(' '));
}

QString square(int k, int index) {
  const int s = kSvgSize - k;
  return polygon({k, k, s, k, s, s, k, s}, index);
}

// The square k pixels in from the edge, split along the diagonal from the top
// right to the bottom left: the upper left half one colour, the rest another.
QString splitSquare(int k, int upperLeft, int lowerRight) {
  const int s = kSvgSize - k;
  return polygon({k, k, s, k, k, s}, upperLeft) + polygon({s, k, s, s, k, s}, lowerRight);
}

// The 256-pixel picture as shapes: the same bands at the same depths.
QString svg() {
  const int s = kSvgSize, m = s / 16;
  QString out = QString(
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" "
                    "viewBox=\"0 0 %1 %1\">\n  <clipPath id=\"outline\">\n    <polygon points=\"")
                    .arg(s);
  out += QString("%1,0 %2,0 %3,%1 %3,%2 %2,%3 %1,%3 0,%2 0,%1").arg(m).arg(s - m).arg(s);
  out += "\"/>\n  </clipPath>\n  <g clip-path=\"url(#outline)\">\n";
  out += square(0, kBlack);
  out += splitSquare(1, kWhite, kGrey);
  out += square(2 * m + 1, kSilver);
  out += splitSquare(4 * m, kGrey, kWhite);
  out += square(4 * m + 1, kNavy);
  return out + "  </g>\n</svg>\n";
}

bool fail(const QString& path) {
  std::fprintf(stderr, "make_skin: cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

bool writeThemeIcons(const QString& dir, const QString& id) {
  for (const int size : {16, 32, 48, 256}) {
    const QString folder = QString("%1/hicolor/%2x%2/apps").arg(dir).arg(size);
    const QString path = folder + "/" + id + ".png";
    if (!QDir().mkpath(folder) || !draw(size).save(path, "PNG")) return fail(path);
  }
  const QString folder = dir + "/hicolor/scalable/apps";
  const QString path = folder + "/" + id + ".svg";
  QFile f(path);
  const QByteArray text = svg().toUtf8();
  if (!QDir().mkpath(folder) || !f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
    return fail(path);
  return true;
}

}  // namespace appicon
