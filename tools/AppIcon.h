#pragma once

// The program's icon: a raised grey square with a sunken navy well, in the 16
// standard colours. The window icon (ICO) and the desktop's icon theme files
// are drawn from the same picture.

#include <QRgb>
#include <QString>

namespace appicon {

enum : int { kBlack = 0, kNavy = 4, kGrey = 8, kSilver = 7, kWhite = 15, kClear = -1 };
extern const QRgb kPalette16[16];

// The palette index of pixel (x, y) of the size x size icon, kClear where it
// is transparent. size is a multiple of 16.
int pixel(int size, int x, int y);

// Writes DIR/hicolor/NxN/apps/ID.png for 16, 32, 48 and 256 pixels and
// DIR/hicolor/scalable/apps/ID.svg. False, with a message, when one fails.
bool writeThemeIcons(const QString& dir, const QString& id);

}  // namespace appicon
