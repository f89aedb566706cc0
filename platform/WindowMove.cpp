#include "platform/WindowMove.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace platform {
namespace {

// Follows the pointer by hand: every mouse move while a button is held puts
// the window at its start position plus the pointer's way since the press.
class FollowPointer : public QObject {
 public:
  void begin(QWidget& window) {
    window_ = &window;
    origin_ = window.pos();
    qApp->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseMove: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->buttons() == Qt::NoButton) {
          end();  // the release went elsewhere
          break;
        }
        if (window_) {
          const QEventPoint& p = e->points().first();
          window_->move(origin_ + (p.globalPosition() - p.globalPressPosition()).toPoint());
        }
        break;
      }
      case QEvent::MouseButtonRelease:
        end();
        break;
      default:
        break;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  void end() {
    qApp->removeEventFilter(this);
    window_ = nullptr;
  }

  QPointer<QWidget> window_;
  QPoint origin_;
};

// The window manager's move (_NET_WM_MOVERESIZE on X11), else FollowPointer.
class SystemWindowMove : public WindowMove {
 public:
  void start(QWidget& window) override {
    QWidget& top = *window.window();
    // A grab a widget took for itself would keep the pointer from the move.
    if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
    QWindow* handle = top.windowHandle();
    if (handle && handle->startSystemMove()) return;
    follow_.begin(top);
  }

 private:
  FollowPointer follow_;
};

WindowMove*& installed() {
  static WindowMove* mover = nullptr;
  return mover;
}

}  // namespace

WindowMove& windowMove() {
  if (installed()) return *installed();
  // Never destroyed: it may outlive the application object.
  static SystemWindowMove* system = new SystemWindowMove;
  return *system;
}

void setWindowMove(WindowMove* mover) { installed() = mover; }

}  // namespace platform
