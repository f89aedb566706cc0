#include <QWidget>

#include "platform/WindowShape.h"

namespace platform {

void setWindowShape(QWidget& window, const QRegion& shape) {
  // A widget mask is both the drawn and the input shape of a top-level
  // window under X11; a platform without masks keeps the rectangle.
  window.setMask(shape);
  window.update();
}

}  // namespace platform
