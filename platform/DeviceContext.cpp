#include "platform/DeviceContext.h"

namespace platform {
namespace {

// Windows holds at most one window's updates at a time.
Window* g_locked = nullptr;

}  // namespace

Window::~Window() {
  // A window that goes away while held must not leave a dangling lock.
  if (g_locked == this) g_locked = nullptr;
}

bool LockWindowUpdate(HWND window) {
  if (window == nullptr) {
    if (g_locked != nullptr) g_locked->setUpdatesLocked(false);
    g_locked = nullptr;
    return true;
  }
  if (g_locked != nullptr) return false;
  g_locked = window;
  window->setUpdatesLocked(true);
  return true;
}

bool GetClientRect(HWND window, RECT* rect) {
  if (window == nullptr || rect == nullptr) return false;
  return window->clientRect(rect);
}

}  // namespace platform
