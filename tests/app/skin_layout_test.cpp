// The skinned frame after load: every piece where the 96-dpi layout puts it,
// the caption and colours, the stacking, and the rounded outline.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include "forms/frmMain.h"
#include "modules/Module1.h"
#include "platform/ImageControl.h"
#include "platform/WindowShape.h"

namespace {

// No settings file is found, so loading touches nothing outside the window.
class SkinLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(config_.isValid());
    qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
    form_.Form_Load();
  }

  QRect rectOf(const char* name) {
    QWidget* w = form_.findChild<QWidget*>(name);
    return w ? w->geometry() : QRect();
  }

  QTemporaryDir config_;
  frmMain form_;
};

TEST_F(SkinLayout, PiecesSitWhereTheLayoutPutsThemAt96Dpi) {
  ASSERT_EQ(form_.size(), QSize(494, 184));
  const struct {
    const char* name;
    QRect rect;
  } expected[] = {
      {"imgTitleLeft", {0, 0, 19, 30}},        {"imgTitleMain", {19, 0, 456, 30}},
      {"imgTitleRight", {475, 0, 19, 30}},     {"imgWindowLeft", {0, 30, 19, 124}},
      {"imgWindowRight", {475, 30, 19, 124}},  {"imgWindowBottomLeft", {0, 154, 19, 30}},
      {"imgWindowBottom", {19, 154, 456, 30}}, {"imgWindowBottomRight", {475, 154, 19, 30}},
      {"imgTitleHelp", {455, 8, 13, 13}},      {"imgTitleClose", {472, 8, 13, 13}},
  };
  for (const auto& e : expected) EXPECT_EQ(rectOf(e.name), e.rect) << e.name;

  // The title text sits at 16, 7 and keeps the size of its text.
  EXPECT_EQ(form_.lblTitle->pos(), QPoint(16, 7));
  EXPECT_EQ(form_.lblTitle->size(), form_.lblTitle->sizeHint());
  // The minimize glyph stays out of sight.
  EXPECT_FALSE(form_.rect().intersects(form_.imgTitleMinimize->geometry()));
}

TEST_F(SkinLayout, CaptionAndBackgroundComeFromTheSkin) {
  EXPECT_EQ(form_.windowTitle(), "Ledgerwick Optimizer v1.0.0");
  EXPECT_EQ(form_.windowTitle(), form_.lblTitle->text());
  EXPECT_EQ(form_.palette().color(QPalette::Window), QColor(207, 207, 207));
  EXPECT_TRUE(form_.autoFillBackground());
  EXPECT_FALSE(form_.windowIcon().availableSizes().isEmpty());
}

TEST_F(SkinLayout, FramePiecesShowTheirBitmaps) {
  for (auto* img : {form_.imgTitleLeft, form_.imgTitleRight, form_.imgWindowBottomLeft,
                    form_.imgWindowBottomRight}) {
    EXPECT_EQ(img->pixmap().size(), QSize(19, 30)) << img->objectName().toStdString();
    EXPECT_FALSE(img->hasScaledContents());
  }
  for (auto* img :
       {form_.imgTitleMain, form_.imgWindowBottom, form_.imgWindowLeft, form_.imgWindowRight}) {
    EXPECT_EQ(img->pixmap().size(), QSize(19, 30)) << img->objectName().toStdString();
    EXPECT_TRUE(img->hasScaledContents());
  }
  for (auto* img : {form_.imgTitleClose, form_.imgTitleHelp, form_.imgTitleMinimize})
    EXPECT_EQ(img->pixmap().size(), QSize(13, 13)) << img->objectName().toStdString();

  // Drawn: the title bar's blue body and the grey of the borders.
  const QImage shot = form_.grab().toImage();
  EXPECT_EQ(shot.pixelColor(200, 12), QColor(21, 98, 175));
  EXPECT_EQ(shot.pixelColor(200, 0), QColor(75, 134, 194));
  EXPECT_EQ(shot.pixelColor(0, 60), QColor(218, 218, 218));
  EXPECT_EQ(shot.pixelColor(493, 60), QColor(144, 144, 144));
}

// What the pointer finds at a point is what is stacked on top there.
TEST_F(SkinLayout, TitleTextGlyphsAndControlsLieOnTop) {
  const QRect title = form_.lblTitle->geometry();
  EXPECT_EQ(form_.childAt(title.center()), form_.lblTitle);
  EXPECT_EQ(form_.childAt(QPoint(461, 14)), form_.imgTitleHelp);
  EXPECT_EQ(form_.childAt(QPoint(478, 14)), form_.imgTitleClose);
  EXPECT_EQ(form_.childAt(QPoint(200, 3)), form_.imgTitleMain);
  // The progress bar covers the lower rows of the bottom band and its corners.
  EXPECT_EQ(form_.childAt(QPoint(5, 170)), form_.ProgressBar);
  EXPECT_EQ(form_.childAt(QPoint(250, 170)), form_.ProgressBar);
  EXPECT_EQ(form_.childAt(QPoint(490, 170)), form_.ProgressBar);
  EXPECT_EQ(form_.childAt(QPoint(250, 155)), form_.imgWindowBottom);
  EXPECT_EQ(form_.childAt(form_.txtFilePath->geometry().center()), form_.txtFilePath);
  // The status line spans the side borders but stays below the buttons.
  EXPECT_EQ(form_.childAt(QPoint(5, 140)), form_.lblProgress);
}

// Pixel (x, y) of the window is inside its outline.
bool shown(const QRegion& mask, int x, int y) { return mask.contains(QPoint(x, y)); }

TEST_F(SkinLayout, OutlineCutsTheFourCornersOnA12PixelRadius) {
  const QRegion mask = form_.mask();
  ASSERT_FALSE(mask.isEmpty());
  EXPECT_EQ(mask.boundingRect(), QRect(0, 0, 494, 184));

  // Each corner: the first row keeps its ends 9 pixels in, row 9 is whole.
  const int insets[] = {9, 6, 5, 4, 3, 2, 1, 1, 1, 0, 0, 0};
  for (int r = 0; r < 12; ++r) {
    for (int y : {r, 183 - r}) {
      const int in = insets[r];
      EXPECT_TRUE(shown(mask, in, y)) << "row " << y;
      EXPECT_TRUE(shown(mask, 493 - in, y)) << "row " << y;
      if (in > 0) {
        EXPECT_FALSE(shown(mask, in - 1, y)) << "row " << y;
        EXPECT_FALSE(shown(mask, 494 - in, y)) << "row " << y;
      }
    }
  }
  // The outermost corner pixel and the points on the diagonal just outside
  // the curve are cut; those just inside are kept.
  for (QPoint p : {QPoint(0, 0), QPoint(493, 0), QPoint(0, 183), QPoint(493, 183)})
    EXPECT_FALSE(shown(mask, p.x(), p.y()));
  EXPECT_FALSE(shown(mask, 3, 3));
  EXPECT_TRUE(shown(mask, 4, 4));
  EXPECT_FALSE(shown(mask, 490, 180));
  EXPECT_TRUE(shown(mask, 489, 179));

  // Between the corners every edge pixel is shown, the last column and row too.
  for (int x = 12; x < 482; ++x) {
    ASSERT_TRUE(shown(mask, x, 0)) << x;
    ASSERT_TRUE(shown(mask, x, 183)) << x;
  }
  for (int y = 12; y < 172; ++y) {
    ASSERT_TRUE(shown(mask, 0, y)) << y;
    ASSERT_TRUE(shown(mask, 493, y)) << y;
  }
  EXPECT_FALSE(shown(mask, 494, 100));
  EXPECT_FALSE(shown(mask, 200, 184));
}

// At another twips-per-pixel ratio the window has another pixel size; the
// frame and the outline follow it.
TEST(SkinOtherSize, FrameAndOutlineFollowTheWindowsPixelSize) {
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  frmMain form;
  form.setFixedSize(618, 230);  // 7410 x 2760 twips at 12 twips per pixel
  form.Form_Load();
  EXPECT_EQ(form.imgTitleMain->geometry(), QRect(19, 0, 580, 30));
  EXPECT_EQ(form.imgTitleRight->pos(), QPoint(599, 0));
  EXPECT_EQ(form.imgWindowRight->geometry().topLeft(), QPoint(599, 30));
  EXPECT_EQ(form.imgWindowRight->height(), 170);
  EXPECT_EQ(form.imgWindowLeft->height(), 170);
  EXPECT_EQ(form.imgWindowBottom->geometry().topLeft(), QPoint(19, 200));
  EXPECT_EQ(form.imgWindowBottom->width(), 580);
  EXPECT_EQ(form.imgWindowBottomRight->pos(), QPoint(599, 200));
  EXPECT_EQ(form.imgTitleClose->pos(), QPoint(596, 8));
  EXPECT_EQ(form.imgTitleHelp->pos(), QPoint(579, 8));
  const QRegion mask = form.mask();
  EXPECT_EQ(mask.boundingRect(), QRect(0, 0, 618, 230));
  EXPECT_FALSE(mask.contains(QPoint(617, 229)));
  EXPECT_TRUE(mask.contains(QPoint(617, 115)));
  EXPECT_TRUE(mask.contains(QPoint(608, 229)));
  EXPECT_FALSE(mask.contains(QPoint(617 - 8, 229)));
}

// The outline region on its own, for sizes the window never has.
TEST(RoundRectRegion, KeepsWholeRowsAndDegradesOnTinySizes) {
  EXPECT_TRUE(platform::roundRectRegion(0, 10).isEmpty());
  EXPECT_TRUE(platform::roundRectRegion(10, 0).isEmpty());
  // Shorter than two corners: each row is cut by its nearer edge.
  const QRegion small = platform::roundRectRegion(30, 5);
  EXPECT_FALSE(small.contains(QPoint(8, 0)));
  EXPECT_TRUE(small.contains(QPoint(9, 0)));
  EXPECT_TRUE(small.contains(QPoint(5, 2)));  // row 2 is 2 rows from either edge: inset 5
  EXPECT_FALSE(small.contains(QPoint(4, 2)));
  EXPECT_FALSE(small.contains(QPoint(8, 4)));
  // Narrower than a corner's cut: such rows vanish, none goes negative.
  const QRegion narrow = platform::roundRectRegion(12, 40);
  EXPECT_FALSE(narrow.contains(QPoint(5, 0)));
  EXPECT_FALSE(narrow.contains(QPoint(6, 1)));  // inset 6 leaves nothing of 12
  EXPECT_TRUE(narrow.contains(QPoint(5, 2)));
  EXPECT_FALSE(narrow.contains(QPoint(4, 2)));
  EXPECT_EQ(narrow.boundingRect(), QRect(0, 2, 12, 36));
}

}  // namespace
