#include "platform/Application.h"

#include <QCoreApplication>

namespace platform {
namespace {

std::function<void()>& hook() {
  static std::function<void()> h;
  return h;
}

}  // namespace

int AppMajor() { return LW_VERSION_MAJOR; }
int AppMinor() { return LW_VERSION_MINOR; }
int AppRevision() { return LW_VERSION_PATCH; }

void End() {
  if (hook()) {
    hook()();
    return;
  }
  // exit() leaves every running event loop, nested ones (a message box) too.
  QCoreApplication::exit(0);
}

void setEndHook(std::function<void()> h) { hook() = std::move(h); }

}  // namespace platform
