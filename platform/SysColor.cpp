#include "platform/SysColor.h"

#include <QApplication>
#include <QPalette>

namespace platform {
namespace {

std::function<COLORREF(int)>& hook() {
  static std::function<COLORREF(int)> h;
  return h;
}

COLORREF fromQColor(const QColor& c) {
  return static_cast<COLORREF>(c.red()) | static_cast<COLORREF>(c.green()) << 8 |
         static_cast<COLORREF>(c.blue()) << 16;
}

// Each system colour stands for the palette role that plays its part in Qt.
COLORREF paletteColor(int index) {
  const QPalette p = QApplication::palette();
  switch (index) {
    case COLOR_SCROLLBAR:
      return fromQColor(p.color(QPalette::Active, QPalette::Button));
    case COLOR_BACKGROUND:
      return fromQColor(p.color(QPalette::Active, QPalette::Dark));
    case COLOR_ACTIVECAPTION:
      return fromQColor(p.color(QPalette::Active, QPalette::Highlight));
    case COLOR_INACTIVECAPTION:
      return fromQColor(p.color(QPalette::Inactive, QPalette::Highlight));
    case COLOR_MENU:
      return fromQColor(p.color(QPalette::Active, QPalette::Window));
    case COLOR_WINDOW:
      return fromQColor(p.color(QPalette::Active, QPalette::Base));
    case COLOR_WINDOWFRAME:
      return fromQColor(p.color(QPalette::Active, QPalette::Shadow));
    case COLOR_MENUTEXT:
      return fromQColor(p.color(QPalette::Active, QPalette::WindowText));
    case COLOR_WINDOWTEXT:
      return fromQColor(p.color(QPalette::Active, QPalette::Text));
    case COLOR_CAPTIONTEXT:
      return fromQColor(p.color(QPalette::Active, QPalette::HighlightedText));
    case COLOR_ACTIVEBORDER:
      return fromQColor(p.color(QPalette::Active, QPalette::Window));
    case COLOR_INACTIVEBORDER:
      return fromQColor(p.color(QPalette::Inactive, QPalette::Window));
    case COLOR_APPWORKSPACE:
      return fromQColor(p.color(QPalette::Active, QPalette::Mid));
    case COLOR_HIGHLIGHT:
      return fromQColor(p.color(QPalette::Active, QPalette::Highlight));
    case COLOR_HIGHLIGHTTEXT:
      return fromQColor(p.color(QPalette::Active, QPalette::HighlightedText));
    case COLOR_BTNFACE:
      return fromQColor(p.color(QPalette::Active, QPalette::Button));
    case COLOR_BTNSHADOW:
      return fromQColor(p.color(QPalette::Active, QPalette::Dark));
    case COLOR_GRAYTEXT:
      return fromQColor(p.color(QPalette::Disabled, QPalette::Text));
    case COLOR_BTNTEXT:
      return fromQColor(p.color(QPalette::Active, QPalette::ButtonText));
    case COLOR_INACTIVECAPTIONTEXT:
      return fromQColor(p.color(QPalette::Inactive, QPalette::HighlightedText));
    case COLOR_BTNHIGHLIGHT:
      return fromQColor(p.color(QPalette::Active, QPalette::Light));
    case COLOR_3DDKSHADOW:
      return fromQColor(p.color(QPalette::Active, QPalette::Shadow));
    case COLOR_3DLIGHT:
      return fromQColor(p.color(QPalette::Active, QPalette::Midlight));
    case COLOR_INFOTEXT:
      return fromQColor(p.color(QPalette::Active, QPalette::ToolTipText));
    case COLOR_INFOBK:
      return fromQColor(p.color(QPalette::Active, QPalette::ToolTipBase));
    default:
      return 0;
  }
}

}  // namespace

COLORREF GetSysColor(int index) {
  if (hook()) return hook()(index);
  return paletteColor(index);
}

void setSysColorHook(std::function<COLORREF(int)> h) { hook() = std::move(h); }

}  // namespace platform
