#include "modules/Module1.h"

#include <QIcon>
#include <QLineEdit>
#include <QPalette>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <cmath>

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

// The window's outer size in pixels. The window's size in twips divided by the
// screen's twips per pixel is its pixel size again, so this reads it directly.
double pixelWidth(const frmMain& form) { return form.width(); }
double pixelHeight(const frmMain& form) { return form.height(); }

int px(double v) { return static_cast<int>(v); }  // whole pixels already

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

  form.lblTitle->move(16, 7);
  form.imgTitleLeft->move(0, 0);
  form.imgTitleRight->move(px(pixelWidth(form) - kPieceW), 0);
  form.imgTitleMain->setGeometry(kPieceW, 0, px(pixelWidth(form) - 2 * kPieceW),
                                 form.imgTitleMain->height());
  form.imgWindowLeft->setGeometry(0, kPieceH, form.imgWindowLeft->width(),
                                  px(pixelHeight(form) - 2 * kPieceH));
  form.imgWindowBottomLeft->move(0, px(pixelHeight(form) - kPieceH));
  form.imgWindowBottom->setGeometry(kPieceW, px(pixelHeight(form) - kPieceH),
                                    px(pixelWidth(form) - 2 * kPieceW),
                                    form.imgWindowBottom->height());
  form.imgWindowBottomRight->move(px(pixelWidth(form) - kPieceW), px(pixelHeight(form) - kPieceH));
  form.imgWindowRight->setGeometry(px(pixelWidth(form) - kPieceW), kPieceH,
                                   form.imgWindowRight->width(),
                                   px(pixelHeight(form) - 2 * kPieceH));
  form.imgTitleClose->move(px(pixelWidth(form) - 22), 8);
  form.imgTitleHelp->move(px(pixelWidth(form) - 39), 8);

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
  // Whole pixels, halves to the even neighbour.
  const int w = static_cast<int>(std::nearbyint(pixelWidth(form)));
  const int h = static_cast<int>(std::nearbyint(pixelHeight(form)));
  platform::setWindowShape(form, platform::roundRectRegion(w, h));
}

}  // namespace Module1
