// Draws the main window's skin: eight 19 x 30 frame pieces, three 13 x 13
// title glyphs (24-bit BMP) and the window icon (ICO, 32 x 32 and 16 x 16,
// 16 colours). Usage: make_skin OUTPUT_FOLDER
// With --icons it draws the same icon for the desktop's icon theme instead
// (the build does that; those files are not committed).
//
// The frame pieces carry the colour ramps of the title bar and borders; the
// corner pieces run those ramps round a 12-pixel radius and paint magenta the
// pixels the window outline cuts away (the same table as the outline itself).
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>
#include <QtEndian>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "platform/WindowShape.h"
#include "tools/AppIcon.h"

namespace {

constexpr int kPieceW = 19;
constexpr int kPieceH = 30;
constexpr int kGlyph = 13;
constexpr int kRamp = 7;     // pixels of shading along each outer edge
constexpr double kR = 12.0;  // corner radius

const QColor kMagenta(255, 0, 255);

// Title bar rows from the top: a light rim, the blue body, a dark lower edge.
const QColor kTitleRows[kPieceH] = {
    {75, 134, 194}, {85, 141, 197}, {72, 132, 193}, {60, 124, 188}, {47, 115, 184}, {34, 107, 179},
    {24, 100, 176}, {21, 98, 175},  {21, 98, 175},  {21, 98, 175},  {21, 98, 175},  {21, 98, 175},
    {21, 98, 175},  {21, 98, 175},  {21, 98, 175},  {21, 98, 175},  {21, 98, 175},  {21, 98, 175},
    {21, 98, 175},  {21, 98, 175},  {21, 98, 175},  {21, 98, 175},  {21, 98, 175},  {21, 96, 172},
    {20, 91, 163},  {18, 84, 150},  {16, 77, 137},  {15, 70, 125},  {13, 63, 112},  {15, 68, 121}};

// Grey shading, index 0 at the window's outer edge.
const int kLeftGrey[kRamp] = {218, 220, 218, 215, 212, 210, 208};
const int kRightGrey[kRamp] = {144, 134, 149, 163, 178, 192, 204};
const int kBottomGrey[kRamp] = {144, 132, 148, 162, 178, 192, 204};
constexpr int kFace = 207;

QColor grey(int v) { return QColor(v, v, v); }
QColor titleTop(int d) { return kTitleRows[d]; }                 // d from the top edge
QColor titleDark(int d) { return kTitleRows[kPieceH - 1 - d]; }  // d from the outer edge

// A corner piece seen from its rounded corner: `x` counts columns from the
// window's vertical outer edge, `y` rows from its horizontal outer edge.
struct CornerPixel {
  bool outside;   // cut away by the outline
  bool nearSide;  // closer to the vertical edge than to the horizontal one
  int depth;      // whole pixels from the outline, 0 = outermost
};

CornerPixel cornerPixel(int x, int y) {
  CornerPixel p{};
  if (y < platform::kCornerRows && x < platform::kCornerInsets[y]) {
    p.outside = true;
    return p;
  }
  const double cx = x + 0.5, cy = y + 0.5;
  if (x < kR && y < kR) {
    const double dist = std::hypot(kR - cx, kR - cy);
    p.depth = std::max(0, int(std::floor(kR - dist)));
    p.nearSide = (kR - cx) > (kR - cy);
  } else {
    p.depth = std::min(x, y);
    p.nearSide = x < y;
  }
  return p;
}

using PixelFn = std::function<QColor(int x, int y)>;

QImage draw(int w, int h, const PixelFn& f) {
  QImage img(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.setPixelColor(x, y, f(x, y));
  return img;
}

// Left end of the title bar: light rim along the top and the left edge.
QColor titleLeft(int x, int y) {
  const CornerPixel p = cornerPixel(x, y);
  if (p.outside) return kMagenta;
  const int fromBottom = kPieceH - 1 - y;
  if (y >= kPieceH - kRamp && fromBottom < x) return kTitleRows[y];  // lower edge wins
  if (p.depth < kRamp) return titleTop(p.depth);
  return kTitleRows[y];
}

// Right end: light along the top, darkening towards the right edge.
QColor titleRight(int x, int y) {
  const int fromRight = kPieceW - 1 - x;
  const CornerPixel p = cornerPixel(fromRight, y);
  if (p.outside) return kMagenta;
  const int fromBottom = kPieceH - 1 - y;
  if (y >= kPieceH - kRamp && fromBottom < fromRight) return kTitleRows[y];
  if (p.depth < kRamp) return p.nearSide ? titleDark(p.depth) : titleTop(p.depth);
  return kTitleRows[y];
}

QColor bottomLeft(int x, int y) {
  const CornerPixel p = cornerPixel(x, kPieceH - 1 - y);
  if (p.outside) return kMagenta;
  if (p.depth >= kRamp) return grey(kFace);
  return grey(p.nearSide ? kLeftGrey[p.depth] : kBottomGrey[p.depth]);
}

QColor bottomRight(int x, int y) {
  const CornerPixel p = cornerPixel(kPieceW - 1 - x, kPieceH - 1 - y);
  if (p.outside) return kMagenta;
  if (p.depth >= kRamp) return grey(kFace);
  return grey(p.nearSide ? kRightGrey[p.depth] : kBottomGrey[p.depth]);
}

QColor windowLeft(int x, int) { return grey(x < kRamp ? kLeftGrey[x] : kFace); }
QColor windowRight(int x, int) {
  const int fromRight = kPieceW - 1 - x;
  return grey(fromRight < kRamp ? kRightGrey[fromRight] : kFace);
}
QColor windowBottom(int, int y) {
  const int fromBottom = kPieceH - 1 - y;
  return grey(fromBottom < kRamp ? kBottomGrey[fromBottom] : kFace);
}
QColor titleMain(int, int y) { return kTitleRows[y]; }

// Title glyphs: a round blue button, lit from the upper left, on the title
// bar's blue, with a black symbol drawn over it.
enum class Symbol { Close, Help, Minimize };

bool symbolPixel(Symbol s, int x, int y) {
  switch (s) {
    case Symbol::Close:
      return x >= 3 && x <= 9 && (x == y || x + y == 12);
    case Symbol::Minimize:
      return x >= 4 && x <= 8 && (y == 8 || y == 9);
    case Symbol::Help: {
      static const char* rows[] = {".###.", "#...#", "....#", "...#.", "..#..", ".....", "..#.."};
      const int cx = x - 4, cy = y - 3;
      return cx >= 0 && cx < 5 && cy >= 0 && cy < 7 && rows[cy][cx] == '#';
    }
  }
  return false;
}

QColor glyph(Symbol s, int x, int y) {
  if (symbolPixel(s, x, y)) return Qt::black;
  const double c = (kGlyph - 1) / 2.0;
  const double dist = std::hypot(x - c, y - c);
  if (dist > 6.4) return kTitleRows[8 + y];  // the bar behind the glyph
  if (dist > 5.4) return QColor(12, 52, 110);
  if (std::hypot(x - 4.0, y - 4.0) < 2.0) return QColor(196, 222, 250);
  // Lighter towards the upper left, darker towards the lower right.
  const double t = (x + y) / double(2 * (kGlyph - 1));
  return QColor(int(std::lround(120 - 70 * t)), int(std::lround(176 - 70 * t)),
                int(std::lround(236 - 50 * t)));
}

bool saveBmp(const QImage& img, const QString& path) {
  if (!img.save(path, "BMP")) {
    std::fprintf(stderr, "make_skin: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

void put16(QByteArray& b, quint16 v) {
  b.append(char(v & 0xFF));
  b.append(char(v >> 8));
}
void put32(QByteArray& b, quint32 v) {
  put16(b, quint16(v & 0xFFFF));
  put16(b, quint16(v >> 16));
}

// One icon image: a 4-bit bitmap (height doubled for the mask that follows)
// with its palette, the colour rows and the 1-bit transparency mask, both
// bottom-up and padded to 4 bytes.
QByteArray iconImage(int size) {
  QByteArray b;
  const int xorStride = ((size * 4 + 31) / 32) * 4;
  const int andStride = ((size + 31) / 32) * 4;
  put32(b, 40);
  put32(b, quint32(size));
  put32(b, quint32(size * 2));
  put16(b, 1);
  put16(b, 4);
  put32(b, 0);
  put32(b, quint32((xorStride + andStride) * size));
  put32(b, 0);
  put32(b, 0);
  put32(b, 16);
  put32(b, 0);
  for (QRgb c : appicon::kPalette16) {
    b.append(char(qBlue(c)));
    b.append(char(qGreen(c)));
    b.append(char(qRed(c)));
    b.append(char(0));
  }
  for (int y = size - 1; y >= 0; --y) {
    QByteArray row(xorStride, '\0');
    for (int x = 0; x < size; ++x) {
      const int idx = std::max(0, appicon::pixel(size, x, y));
      row[x / 2] = char(row[x / 2] | (x % 2 ? idx : idx << 4));
    }
    b.append(row);
  }
  for (int y = size - 1; y >= 0; --y) {
    QByteArray row(andStride, '\0');
    for (int x = 0; x < size; ++x)
      if (appicon::pixel(size, x, y) == appicon::kClear)
        row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
    b.append(row);
  }
  return b;
}

bool saveIcon(const QString& path) {
  const int sizes[] = {32, 16};
  QByteArray images[2] = {iconImage(32), iconImage(16)};
  QByteArray out;
  put16(out, 0);
  put16(out, 1);  // icon
  put16(out, 2);
  quint32 offset = 6 + 16 * 2;
  for (int i = 0; i < 2; ++i) {
    out.append(char(sizes[i]));
    out.append(char(sizes[i]));
    out.append(char(16));  // colours
    out.append(char(0));
    put16(out, 1);  // planes
    put16(out, 4);  // bits per pixel
    put32(out, quint32(images[i].size()));
    put32(out, offset);
    offset += quint32(images[i].size());
  }
  out.append(images[0]);
  out.append(images[1]);
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size()) {
    std::fprintf(stderr, "make_skin: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && QString(argv[1]) == "--icons")
    return appicon::writeThemeIcons(QString::fromLocal8Bit(argv[2]),
                                    QString::fromLocal8Bit(argv[3]))
               ? 0
               : 1;
  if (argc != 2 || QString(argv[1]) == "--help") {
    std::fprintf(stderr,
                 "usage: make_skin OUTPUT_FOLDER\n"
                 "       make_skin --icons OUTPUT_FOLDER APP_ID\n"
                 "Draws the skin bitmaps and the window icon into OUTPUT_FOLDER; with\n"
                 "--icons, the icon theme's files OUTPUT_FOLDER/hicolor/*/apps/APP_ID.*.\n");
    return argc == 2 ? 0 : 2;
  }
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.exists() && !QDir().mkpath(dir.path())) {
    std::fprintf(stderr, "make_skin: cannot create %s\n", argv[1]);
    return 1;
  }
  struct Piece {
    const char* name;
    PixelFn fn;
  };
  const Piece pieces[] = {
      {"imgTitleLeft", titleLeft},         {"imgTitleMain", titleMain},
      {"imgTitleRight", titleRight},       {"imgWindowLeft", windowLeft},
      {"imgWindowRight", windowRight},     {"imgWindowBottom", windowBottom},
      {"imgWindowBottomLeft", bottomLeft}, {"imgWindowBottomRight", bottomRight},
  };
  bool ok = true;
  for (const Piece& p : pieces)
    ok &= saveBmp(draw(kPieceW, kPieceH, p.fn), dir.filePath(QString(p.name) + ".bmp"));
  const struct {
    const char* name;
    Symbol symbol;
  } glyphs[] = {{"imgTitleClose", Symbol::Close},
                {"imgTitleHelp", Symbol::Help},
                {"imgTitleMinimize", Symbol::Minimize}};
  for (const auto& g : glyphs) {
    const Symbol s = g.symbol;
    ok &= saveBmp(draw(kGlyph, kGlyph, [s](int x, int y) { return glyph(s, x, y); }),
                  dir.filePath(QString(g.name) + ".bmp"));
  }
  ok &= saveIcon(dir.filePath("frmMain.ico"));
  return ok ? 0 : 1;
}
