#include "modules/Module1.h"

#include <QPalette>

#include "forms/frmMain.h"
#include "platform/ImageControl.h"

namespace Module1 {

// Interim: colours and caption only; the frame layout comes with the skin bitmaps.
void ApplySkin(frmMain& form) {
  QPalette pal = form.palette();
  pal.setColor(QPalette::Window, QColor(207, 207, 207));
  form.setPalette(pal);
  form.setAutoFillBackground(true);
  form.setWindowTitle(form.lblTitle->text());
  RoundCorners(form);
}

void RoundCorners(frmMain& /*form*/) {}

}  // namespace Module1
