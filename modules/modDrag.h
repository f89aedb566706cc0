#pragma once

class frmMain;

// Moving the frameless main window by its title bar.
namespace modDrag {

// Starts moving the window with the pointer; call it from the press handler
// of a title-bar element. The window follows until the button is released.
void DragForm(frmMain& form);

}  // namespace modDrag
