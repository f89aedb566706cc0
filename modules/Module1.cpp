#include "modules/Module1.h"

#include <QIcon>
#include <QLineEdit>
#include <QPalette>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>

#include "forms/frmMain.h"
#include "platform/ImageControl.h"
#include "platform/WindowShape.h"

// Outside any namespace, as Qt requires: the skin lives in a static library,
// so its resources are registered by hand before first use.
static void initSkinResources() { Q_INIT_RESOURCE(skin); }

namespace Module1 {
namespace {

// Frame piece size and the title bar's height, in pixels.
constexpr int kPieceW = 19;
constexpr int kPieceH = 30;

void attach(platform::ImageControl* image, const char* resource) {
  if (!image->pixmap().isNull()) return;
  const QPixmap bitmap(resource);
  image->setPixmap(bitmap);
  image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // An unscaled image takes its bitmap's natural size.
  if (!image->hasScaledContents()) image->resize(bitmap.size());
}

}  // namespace

void AttachSkinBitmaps(frmMain& form) {
  initSkinResources();
  attach(form.imgTitleLeft, ":/skin/imgTitleLeft.bmp");
  attach(form.imgTitleMain, ":/skin/imgTitleMain.bmp");
  attach(form.imgTitleRight, ":/skin/imgTitleRight.bmp");
  attach(form.imgWindowLeft, ":/skin/imgWindowLeft.bmp");
  attach(form.imgWindowRight, ":/skin/imgWindowRight.bmp");
  attach(form.imgWindowBottom, ":/skin/imgWindowBottom.bmp");
  attach(form.imgWindowBottomLeft, ":/skin/imgWindowBottomLeft.bmp");
  attach(form.imgWindowBottomRight, ":/skin/imgWindowBottomRight.bmp");
  attach(form.imgTitleClose, ":/skin/imgTitleClose.bmp");
  attach(form.imgTitleHelp, ":/skin/imgTitleHelp.bmp");
  attach(form.imgTitleMinimize, ":/skin/imgTitleMinimize.bmp");
  if (!form.testAttribute(Qt::WA_SetWindowIcon)) form.setWindowIcon(QIcon(":/skin/frmMain.ico"));
}

void ApplySkin(frmMain& form) {
  AttachSkinBitmaps(form);

  QPalette pal = form.palette();
  pal.setColor(QPalette::Window, QColor(207, 207, 207));
  form.setPalette(pal);
  form.setAutoFillBackground(true);
  form.setWindowTitle(form.lblTitle->text());

  // The window's outer size in pixels: its size in twips divided by the
  // screen's twips per pixel is the pixel size the window already has.
  const int w = form.width();
  const int h = form.height();
  form.lblTitle->move(16, 7);
  form.imgTitleLeft->move(0, 0);
  form.imgTitleRight->move(w - kPieceW, 0);
  form.imgTitleMain->setGeometry(kPieceW, 0, w - 2 * kPieceW, form.imgTitleMain->height());
  form.imgWindowLeft->setGeometry(0, kPieceH, form.imgWindowLeft->width(), h - 2 * kPieceH);
  form.imgWindowBottomLeft->move(0, h - kPieceH);
  form.imgWindowBottom->setGeometry(kPieceW, h - kPieceH, w - 2 * kPieceW,
                                    form.imgWindowBottom->height());
  form.imgWindowBottomRight->move(w - kPieceW, h - kPieceH);
  form.imgWindowRight->setGeometry(w - kPieceW, kPieceH, form.imgWindowRight->width(),
                                   h - 2 * kPieceH);
  form.imgTitleClose->move(w - 22, 8);
  form.imgTitleHelp->move(w - 39, 8);

  // Stacking, bottom first: frame pieces, then the title text, the status
  // line and the glyphs over them, then every windowed control above all.
  QWidget* const stack[] = {form.imgTitleLeft,
                            form.imgTitleRight,
                            form.imgWindowBottomLeft,
                            form.imgWindowBottomRight,
                            form.imgTitleMain,
                            form.imgWindowBottom,
                            form.imgWindowLeft,
                            form.imgWindowRight,
                            form.lblTitle,
                            form.lblProgress,
                            form.imgTitleHelp,
                            form.imgTitleClose,
                            form.imgTitleMinimize,
                            form.cmdNo,
                            form.cmdYes,
                            form.txtFilePath,
                            form.ProgressBar,
                            form.cmdCompactRepair,
                            form.cmdExit,
                            form.Command1};
  for (QWidget* w : stack) w->raise();

  RoundCorners(form);
}

void RoundCorners(frmMain& form) {
  // The whole window, 494 x 184 at 96 dpi: its last column and row stay
  // visible, so the borders' outer shading shows and the corners match.
  platform::setWindowShape(form, platform::roundRectRegion(form.width(), form.height()));
}

}  // namespace Module1
