#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/DeviceContext.h"

namespace platform {

// The window handle of a widget: its client area is the widget's rectangle,
// and holding its updates turns the widget's painting off until released.
class WidgetWindow : public Window {
 public:
  explicit WidgetWindow(QWidget* widget) : widget_(widget) {}
  ~WidgetWindow() override;

  bool clientRect(RECT* rect) const override;
  void setUpdatesLocked(bool locked) override;

 private:
  QPointer<QWidget> widget_;
  bool locked_ = false;
};

}  // namespace platform
