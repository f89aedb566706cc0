// The skin bitmaps as shipped: real 24-bit BMP files, the colour ramps of the
// title bar and borders, corners whose magenta is exactly what the window
// outline cuts away, and a generator that still draws the committed files.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtEndian>

#include "platform/WindowShape.h"

// Outside any namespace, as Qt requires.
static void initSkin() { Q_INIT_RESOURCE(skin); }

namespace {

const QString kSkinDir = QString(LW_SOURCE_DIR) + "/resources/skin/";
const QColor kMagenta(255, 0, 255);

QImage load(const QString& name) {
  initSkin();
  return QImage(":/skin/" + name + ".bmp");
}

QColor grey(int v) { return QColor(v, v, v); }

TEST(SkinFiles, AreUncompressed24BitBitmapsOfTheirSize) {
  const struct {
    const char* name;
    int w, h;
  } files[] = {{"imgTitleLeft", 19, 30},        {"imgTitleMain", 19, 30},
               {"imgTitleRight", 19, 30},       {"imgWindowLeft", 19, 30},
               {"imgWindowRight", 19, 30},      {"imgWindowBottom", 19, 30},
               {"imgWindowBottomLeft", 19, 30}, {"imgWindowBottomRight", 19, 30},
               {"imgTitleClose", 13, 13},       {"imgTitleHelp", 13, 13},
               {"imgTitleMinimize", 13, 13}};
  for (const auto& f : files) {
    QFile file(kSkinDir + f.name + ".bmp");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << f.name;
    const QByteArray b = file.readAll();
    ASSERT_GE(b.size(), 54) << f.name;
    const auto* d = reinterpret_cast<const uchar*>(b.constData());
    EXPECT_EQ(b.left(2), "BM") << f.name;
    EXPECT_EQ(qFromLittleEndian<qint32>(d + 18), f.w) << f.name;
    EXPECT_EQ(qFromLittleEndian<qint32>(d + 22), f.h) << f.name;
    EXPECT_EQ(qFromLittleEndian<quint16>(d + 28), 24) << f.name;  // bits per pixel
    EXPECT_EQ(qFromLittleEndian<quint32>(d + 30), 0u) << f.name;  // no compression
    const int stride = (f.w * 3 + 3) / 4 * 4;
    EXPECT_EQ(b.size(), int(qFromLittleEndian<quint32>(d + 10)) + stride * f.h) << f.name;
    // What the program loads is the same picture.
    EXPECT_EQ(load(f.name),
              QImage(kSkinDir + f.name + ".bmp").convertToFormat(load(f.name).format()))
        << f.name;
  }
}

TEST(SkinRamps, StripsCarryTheirRampsOnEveryRowOrColumn) {
  const int left[19] = {218, 220, 218, 215, 212, 210, 208, 207, 207, 207,
                        207, 207, 207, 207, 207, 207, 207, 207, 207};
  const int right[19] = {207, 207, 207, 207, 207, 207, 207, 207, 207, 207,
                         207, 207, 204, 192, 178, 163, 149, 134, 144};
  int bottom[30];
  for (int y = 0; y < 23; ++y) bottom[y] = 207;
  const int bottomEnd[7] = {204, 192, 178, 162, 148, 132, 144};
  for (int i = 0; i < 7; ++i) bottom[23 + i] = bottomEnd[i];
  const QColor title[30] = {
      {75, 134, 194}, {85, 141, 197}, {72, 132, 193}, {60, 124, 188}, {47, 115, 184},
      {34, 107, 179}, {24, 100, 176}, {21, 98, 175},  {21, 98, 175},  {21, 98, 175},
      {21, 98, 175},  {21, 98, 175},  {21, 98, 175},  {21, 98, 175},  {21, 98, 175},
      {21, 98, 175},  {21, 98, 175},  {21, 98, 175},  {21, 98, 175},  {21, 98, 175},
      {21, 98, 175},  {21, 98, 175},  {21, 98, 175},  {21, 96, 172},  {20, 91, 163},
      {18, 84, 150},  {16, 77, 137},  {15, 70, 125},  {13, 63, 112},  {15, 68, 121}};

  const QImage l = load("imgWindowLeft"), r = load("imgWindowRight");
  const QImage b = load("imgWindowBottom"), t = load("imgTitleMain");
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 19; ++x) {
      ASSERT_EQ(l.pixelColor(x, y), grey(left[x])) << x << "," << y;
      ASSERT_EQ(r.pixelColor(x, y), grey(right[x])) << x << "," << y;
      ASSERT_EQ(b.pixelColor(x, y), grey(bottom[y])) << x << "," << y;
      ASSERT_EQ(t.pixelColor(x, y), title[y]) << x << "," << y;
    }
  }
}

// Where each corner piece sits in the 494 x 184 window.
struct Corner {
  const char* name;
  QPoint at;
};
const Corner kCorners[] = {{"imgTitleLeft", {0, 0}},
                           {"imgTitleRight", {475, 0}},
                           {"imgWindowBottomLeft", {0, 154}},
                           {"imgWindowBottomRight", {475, 154}}};

TEST(SkinCorners, MagentaIsExactlyWhatTheOutlineCuts) {
  const QRegion outline = platform::roundRectRegion(494, 184);
  for (const Corner& c : kCorners) {
    const QImage img = load(c.name);
    int magenta = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 19; ++x) {
        const bool cut = !outline.contains(c.at + QPoint(x, y));
        const bool isMagenta = img.pixelColor(x, y) == kMagenta;
        ASSERT_EQ(isMagenta, cut) << c.name << " " << x << "," << y;
        magenta += isMagenta;
      }
    EXPECT_EQ(magenta, 9 + 6 + 5 + 4 + 3 + 2 + 1 + 1 + 1) << c.name;
  }
}

TEST(SkinCorners, ContinueTheRampsOfTheStripsTheyMeet) {
  const QImage main = load("imgTitleMain"), bottom = load("imgWindowBottom");
  const QImage left = load("imgWindowLeft"), right = load("imgWindowRight");
  const QImage tl = load("imgTitleLeft"), tr = load("imgTitleRight");
  const QImage bl = load("imgWindowBottomLeft"), br = load("imgWindowBottomRight");
  // Beside the middle strips: the column that touches them matches theirs.
  for (int y = 0; y < 30; ++y) {
    EXPECT_EQ(tl.pixelColor(18, y), main.pixelColor(0, y)) << y;
    EXPECT_EQ(tr.pixelColor(0, y), main.pixelColor(0, y)) << y;
    EXPECT_EQ(bl.pixelColor(18, y), bottom.pixelColor(0, y)) << y;
    EXPECT_EQ(br.pixelColor(0, y), bottom.pixelColor(0, y)) << y;
  }
  // Below the side borders: the bottom corners' top rows match the borders.
  for (int x = 0; x < 19; ++x) {
    EXPECT_EQ(bl.pixelColor(x, 0), left.pixelColor(x, 0)) << x;
    EXPECT_EQ(br.pixelColor(x, 0), right.pixelColor(x, 0)) << x;
  }
  // Round the curve: the outermost pixel of every cut row takes the edge's
  // outermost shade (light rim on the title's left end, 144 at the bottom).
  const int insets[] = {9, 6, 5, 4, 3, 2, 1, 1, 1};
  for (int r = 0; r < 9; ++r) {
    EXPECT_EQ(tl.pixelColor(insets[r], r), QColor(75, 134, 194)) << r;
    EXPECT_EQ(bl.pixelColor(insets[r], 29 - r).red(),
              r < 3 ? 144 : bl.pixelColor(insets[r], 29 - r).red());
  }
  EXPECT_EQ(bl.pixelColor(9, 29), grey(144));
  EXPECT_EQ(br.pixelColor(9, 29), grey(144));
  // The title's left end keeps its light rim down the left edge.
  EXPECT_EQ(tl.pixelColor(0, 15), QColor(75, 134, 194));
  EXPECT_EQ(tl.pixelColor(1, 15), QColor(85, 141, 197));
  // The right end darkens towards its edge.
  EXPECT_EQ(tr.pixelColor(18, 15), QColor(15, 68, 121));
  EXPECT_EQ(tr.pixelColor(17, 15), QColor(13, 63, 112));
}

TEST(SkinGlyphs, RoundButtonsWithABlackSymbolOnTheTitleBlue) {
  for (const char* name : {"imgTitleClose", "imgTitleHelp", "imgTitleMinimize"}) {
    const QImage g = load(name);
    ASSERT_EQ(g.size(), QSize(13, 13)) << name;
    int black = 0, magenta = 0;
    for (int y = 0; y < 13; ++y)
      for (int x = 0; x < 13; ++x) {
        black += g.pixelColor(x, y) == Qt::black;
        magenta += g.pixelColor(x, y) == kMagenta;
      }
    EXPECT_GE(black, 5) << name;
    EXPECT_EQ(magenta, 0) << name;
    // Its corners are the title bar's blue, so it sits on the bar seamlessly.
    EXPECT_EQ(g.pixelColor(0, 0), QColor(21, 98, 175)) << name;
    EXPECT_EQ(g.pixelColor(12, 12), QColor(21, 98, 175)) << name;
    // Lit from the upper left.
    EXPECT_GT(g.pixelColor(3, 5).lightness(), g.pixelColor(9, 10).lightness()) << name;
  }
  // The three symbols differ.
  EXPECT_NE(load("imgTitleClose"), load("imgTitleHelp"));
  EXPECT_NE(load("imgTitleClose"), load("imgTitleMinimize"));
  EXPECT_NE(load("imgTitleHelp"), load("imgTitleMinimize"));
}

TEST(SkinIcon, HoldsA32And16PixelImageOfAtMost16Colours) {
  initSkin();
  QImageReader reader(":/skin/frmMain.ico");
  ASSERT_EQ(reader.imageCount(), 2);
  QList<QSize> sizes;
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(reader.jumpToImage(i));
    const QImage img = reader.read();
    ASSERT_FALSE(img.isNull()) << reader.errorString().toStdString();
    sizes << img.size();
    QSet<QRgb> colours;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        if (qAlpha(img.pixel(x, y)) == 255) colours.insert(img.pixel(x, y));
    EXPECT_LE(colours.size(), 16);
    EXPECT_GE(colours.size(), 3);
    // Transparent at the clipped corners, opaque in the middle.
    EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(img.pixel(img.width() / 2, img.height() / 2)), 255);
  }
  EXPECT_TRUE(sizes.contains(QSize(32, 32)));
  EXPECT_TRUE(sizes.contains(QSize(16, 16)));
}

TEST(SkinGenerator, RedrawsTheCommittedFilesByteForByte) {
  const QString tool = QString(LW_BINARY_DIR) + "/tools/make_skin";
  if (!QFile::exists(tool)) GTEST_SKIP() << "make_skin not built";
  QTemporaryDir out;
  ASSERT_TRUE(out.isValid());
  QProcess p;
  p.start(tool, {out.path()});
  ASSERT_TRUE(p.waitForFinished(10000));
  ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  const QStringList made = QDir(out.path()).entryList(QDir::Files, QDir::Name);
  const QStringList committed = QDir(kSkinDir).entryList(QDir::Files, QDir::Name);
  EXPECT_EQ(made, committed);
  for (const QString& name : made) {
    QFile a(out.filePath(name)), b(kSkinDir + name);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_TRUE(a.readAll() == b.readAll()) << name.toStdString();
  }
}

}  // namespace
