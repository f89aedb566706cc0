#pragma once

class QWidget;

namespace platform {

// Moves a top-level window with the pointer, from the button press that is
// being handled until that button is released: the window manager's own
// interactive move where it offers one, else the window follows the pointer
// by hand. Tests install their own to see which presses start a move.
class WindowMove {
 public:
  virtual ~WindowMove() = default;

  // Called from a mouse-press handler. Returns at once; the move goes on
  // while the button is held and the window stays where it ends.
  virtual void start(QWidget& window) = 0;
};

// The mover in use: the system one unless a test installed another.
WindowMove& windowMove();

// Installs `mover` (not owned); nullptr restores the system mover.
void setWindowMove(WindowMove* mover);

}  // namespace platform
