#include "platform/DeviceContextWidget.h"

namespace platform {

WidgetWindow::~WidgetWindow() {
  // Going away while held must not leave the widget without painting.
  if (locked_) setUpdatesLocked(false);
}

bool WidgetWindow::clientRect(RECT* rect) const {
  if (widget_.isNull()) return false;
  *rect = RECT{0, 0, widget_->width(), widget_->height()};
  return true;
}

void WidgetWindow::setUpdatesLocked(bool locked) {
  locked_ = locked;
  if (!widget_.isNull()) widget_->setUpdatesEnabled(!locked);
}

}  // namespace platform
