#pragma once

#include <QLabel>

namespace platform {

// A label or picture that reports clicks and mouse presses the way the window's
// handlers expect them: MouseDown(button, shift, x, y) with button 1 left,
// 2 right, 4 middle; shift 1 Shift, 2 Ctrl, 4 Alt; x and y in pixels.
class ImageControl : public QLabel {
  Q_OBJECT
 public:
  explicit ImageControl(QWidget* parent = nullptr);

 signals:
  void Click();
  void MouseDown(int button, int shift, float x, float y);
  void MouseMove(int button, int shift, float x, float y);
  void MouseUp(int button, int shift, float x, float y);

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  bool pressedInside_ = false;
};

}  // namespace platform
