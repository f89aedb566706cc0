#pragma once

class frmMain;

// The main window's skin: colours, caption and frame layout, and its rounded outline.
namespace Module1 {

void ApplySkin(frmMain& form);
void RoundCorners(frmMain& form);

}  // namespace Module1
