#pragma once

class frmMain;

// Moving the frameless main window by its title bar.
namespace modDrag {

void DragForm(frmMain& form);

}  // namespace modDrag
