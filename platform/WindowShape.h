#pragma once

#include <QRegion>

class QWidget;

namespace platform {

// The main window's outline: a rectangle whose corners are cut on a 24 x 24
// ellipse (12-pixel radius). The cut is a fixed table of whole pixels per row,
// counted from the nearest top or bottom edge, so the shape never depends on
// a rasteriser; the skin bitmaps mark exactly these pixels magenta.
inline constexpr int kCornerRows = 12;
inline constexpr int kCornerInsets[kCornerRows] = {9, 6, 5, 4, 3, 2, 1, 1, 1, 0, 0, 0};

// Pixels cut from each end of row `y` of a rounded rectangle `height` rows
// high. Rows outside the rectangle report 0.
int roundRectInset(int y, int height);

// The rounded rectangle (0, 0)-(width, height), right and bottom exclusive,
// with every corner cut by the table above. Empty for an empty size.
QRegion roundRectRegion(int width, int height);

// Makes `shape` the visible and clickable shape of the top-level `window`:
// outside it nothing is drawn and the pointer reaches what lies behind.
// (Defined in WindowShapeWidget.cpp, so the skin tool needs no widgets.)
void setWindowShape(QWidget& window, const QRegion& shape);

}  // namespace platform
