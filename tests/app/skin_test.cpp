// The skinned frame after load: every piece where the layout puts it at two
// window sizes, what lies on top, corner bitmaps whose magenta is exactly what
// the rounded outline cuts, and a generator that still draws the committed
// bitmaps.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProgressBar>

#include "platform/WindowShape.h"
#include "support/AppTesting.h"

namespace {

TEST(Skin, PiecesFollowTheWindowsPixelSize) {
  apptest::IsolatedStartup startup;
  frmMain form;  // 494 x 184 at 96 dpi
  form.Form_Load();
  ASSERT_EQ(form.size(), QSize(494, 184));
  frmMain large;
  large.setFixedSize(618, 230);  // the same twips at 12 twips per pixel
  large.Form_Load();
  const struct {
    const char* name;
    QRect at494, at618;
  } pieces[] = {
      {"imgTitleLeft", {0, 0, 19, 30}, {0, 0, 19, 30}},
      {"imgTitleMain", {19, 0, 456, 30}, {19, 0, 580, 30}},
      {"imgTitleRight", {475, 0, 19, 30}, {599, 0, 19, 30}},
      {"imgWindowLeft", {0, 30, 19, 124}, {0, 30, 19, 170}},
      {"imgWindowRight", {475, 30, 19, 124}, {599, 30, 19, 170}},
      {"imgWindowBottomLeft", {0, 154, 19, 30}, {0, 200, 19, 30}},
      {"imgWindowBottom", {19, 154, 456, 30}, {19, 200, 580, 30}},
      {"imgWindowBottomRight", {475, 154, 19, 30}, {599, 200, 19, 30}},
      {"imgTitleHelp", {455, 8, 13, 13}, {579, 8, 13, 13}},
      {"imgTitleClose", {472, 8, 13, 13}, {596, 8, 13, 13}},
  };
  for (const auto& p : pieces) {
    EXPECT_EQ(form.findChild<QWidget*>(p.name)->geometry(), p.at494) << p.name;
    EXPECT_EQ(large.findChild<QWidget*>(p.name)->geometry(), p.at618) << p.name;
  }
  EXPECT_EQ(form.lblTitle->pos(), QPoint(16, 7));
  EXPECT_FALSE(form.rect().intersects(form.imgTitleMinimize->geometry()));
  // What the pointer finds at a point is what is stacked on top there.
  EXPECT_EQ(form.childAt(form.lblTitle->geometry().center()), form.lblTitle);
  EXPECT_EQ(form.childAt(QPoint(461, 14)), form.imgTitleHelp);
  EXPECT_EQ(form.childAt(QPoint(478, 14)), form.imgTitleClose);
  EXPECT_EQ(form.childAt(QPoint(5, 170)), form.ProgressBar);
  EXPECT_EQ(form.childAt(QPoint(250, 155)), form.imgWindowBottom);
  EXPECT_EQ(form.childAt(QPoint(5, 140)), form.lblProgress);
  // Drawn: the title bar's light top row and blue body, the borders' grey.
  const QImage shot = form.grab().toImage();
  EXPECT_EQ(shot.pixelColor(200, 0), QColor(75, 134, 194));
  EXPECT_EQ(shot.pixelColor(200, 12), QColor(21, 98, 175));
  EXPECT_EQ(shot.pixelColor(0, 60), QColor(218, 218, 218));
  EXPECT_EQ(shot.pixelColor(493, 60), QColor(144, 144, 144));
  EXPECT_EQ(shot.pixelColor(30, 40), QColor(207, 207, 207));
  EXPECT_EQ(large.mask().boundingRect(), QRect(0, 0, 618, 230));
  EXPECT_FALSE(large.mask().contains(QPoint(617 - 8, 229)));
}

TEST(Skin, CornerMagentaIsExactlyWhatTheOutlineCuts) {
  apptest::IsolatedStartup startup;
  frmMain form;
  form.Form_Load();  // registers the skin
  const QRegion outline = platform::roundRectRegion(494, 184);
  const std::pair<const char*, QPoint> corners[] = {{"imgTitleLeft", {0, 0}},
                                                    {"imgTitleRight", {475, 0}},
                                                    {"imgWindowBottomLeft", {0, 154}},
                                                    {"imgWindowBottomRight", {475, 154}}};
  for (auto [name, at] : corners) {
    const QImage img(QString(":/skin/") + name + ".bmp");
    ASSERT_EQ(img.size(), QSize(19, 30)) << name;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 19; ++x)
        ASSERT_EQ(img.pixelColor(x, y) == QColor(255, 0, 255), !outline.contains(at + QPoint(x, y)))
            << name << " " << x << "," << y;
  }
}

TEST(Skin, GeneratorRedrawsTheCommittedFilesByteForByte) {
  const QString tool = QString(LW_BINARY_DIR) + "/tools/make_skin";
  if (!QFile::exists(tool)) GTEST_SKIP() << "make_skin not built";
  QTemporaryDir out;
  QProcess p;
  p.start(tool, {out.path()});
  ASSERT_TRUE(p.waitForFinished(10000));
  ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  const QString committed = QString(LW_SOURCE_DIR) + "/resources/skin/";
  EXPECT_EQ(apptest::listing(out.path()), apptest::listing(committed));
  for (const QString& name : apptest::listing(out.path()))
    EXPECT_TRUE(apptest::readAll(out.filePath(name)) == apptest::readAll(committed + name)) << name;
}

}  // namespace
