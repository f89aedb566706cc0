#pragma once

class QWidget;

namespace platform {

// Keeps a top-level window out of the task bar and pager. Call before the
// window is first shown. On X11 it sets _NET_WM_STATE_SKIP_TASKBAR; elsewhere
// (offscreen, Wayland) it does nothing. Returns whether the property was set.
bool SkipTaskbar(QWidget& window);

}  // namespace platform
