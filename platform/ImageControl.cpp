#include "platform/ImageControl.h"

#include <QMouseEvent>

namespace platform {
namespace {

int buttonCode(Qt::MouseButtons b) {
  int code = 0;
  if (b & Qt::LeftButton) code |= 1;
  if (b & Qt::RightButton) code |= 2;
  if (b & Qt::MiddleButton) code |= 4;
  return code;
}

int shiftCode(Qt::KeyboardModifiers m) {
  int code = 0;
  if (m & Qt::ShiftModifier) code |= 1;
  if (m & Qt::ControlModifier) code |= 2;
  if (m & Qt::AltModifier) code |= 4;
  return code;
}

}  // namespace

ImageControl::ImageControl(QWidget* parent) : QLabel(parent) {}

void ImageControl::mousePressEvent(QMouseEvent* e) {
  pressedInside_ = e->button() == Qt::LeftButton;
  const QPointF p = e->position();
  emit MouseDown(buttonCode(e->button()), shiftCode(e->modifiers()), float(p.x()), float(p.y()));
}

void ImageControl::mouseMoveEvent(QMouseEvent* e) {
  const QPointF p = e->position();
  emit MouseMove(buttonCode(e->buttons()), shiftCode(e->modifiers()), float(p.x()), float(p.y()));
}

void ImageControl::mouseReleaseEvent(QMouseEvent* e) {
  const QPointF p = e->position();
  emit MouseUp(buttonCode(e->button()), shiftCode(e->modifiers()), float(p.x()), float(p.y()));
  // A click is a left press and release on the same control.
  const bool click =
      pressedInside_ && e->button() == Qt::LeftButton && rect().contains(p.toPoint());
  pressedInside_ = false;
  if (click) emit Click();
}

}  // namespace platform
