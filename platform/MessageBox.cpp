#include "platform/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace platform {
namespace {

MsgBoxHook& hook() {
  static MsgBoxHook h;
  return h;
}

}  // namespace

int MsgBox(const QString& text, int style, const QString& title) {
  if (hook()) return hook()(text, style, title);
  const QMessageBox::Icon icon =
      (style & vbExclamation) == vbExclamation ? QMessageBox::Warning : QMessageBox::NoIcon;
  const QString caption = title.isEmpty() ? QApplication::applicationName() : title;
  QPointer<QWidget> owner = QApplication::activeWindow();
  QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
  box.exec();
  // Give the keyboard back to the owner: without a window manager nobody else does.
  if (owner) owner->activateWindow();
  return 1;
}

void setMsgBoxHook(MsgBoxHook h) { hook() = std::move(h); }

}  // namespace platform
