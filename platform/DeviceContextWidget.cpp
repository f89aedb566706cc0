#include "platform/DeviceContextWidget.h"

namespace platform {

bool WidgetWindow::clientRect(RECT* rect) const {
  if (widget_.isNull()) return false;
  *rect = RECT{0, 0, widget_->width(), widget_->height()};
  return true;
}

void WidgetWindow::setUpdatesLocked(bool locked) {
  if (!widget_.isNull()) widget_->setUpdatesEnabled(!locked);
}

}  // namespace platform
