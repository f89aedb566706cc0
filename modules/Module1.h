#pragma once

class frmMain;

// The main window's skin: colours, caption and frame layout, and its rounded outline.
namespace Module1 {

// Colours the window, copies the title text into its caption, places the
// frame pieces, the title text and the title glyphs for the window's pixel
// size, stacks them, and ends with RoundCorners. Run once, during load.
void ApplySkin(frmMain& form);

// Cuts the window to a rectangle with 12-pixel rounded corners.
void RoundCorners(frmMain& form);

// Gives the frame pieces and glyphs their bitmaps and the window its icon
// where they have none yet. ApplySkin calls it; calling it again does nothing.
void AttachSkinBitmaps(frmMain& form);

}  // namespace Module1
