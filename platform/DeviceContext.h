#pragma once

#include <cstdint>

namespace platform {

// Colour in the Windows layout 0x00BBGGRR (red in the low byte).
using COLORREF = std::uint32_t;
// Handle of a drawing object (a pen); 0 is no object.
using HGDIOBJ = std::uint32_t;
using HPEN = HGDIOBJ;

constexpr int PS_SOLID = 0;

// As the Windows structures of these names; a RECT's right and bottom lie
// just outside it.
struct POINT {
  std::int32_t x = 0;
  std::int32_t y = 0;
};

struct RECT {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

// A drawing surface used the way a GDI device context is: pens are created,
// selected and deleted on it, and LineTo draws with the selected pen from the
// current position, leaving out the end point. Calls report failure but never
// throw; a failed call draws nothing.
class DeviceContext {
 public:
  virtual ~DeviceContext() = default;

  virtual HPEN CreatePen(int style, int width, COLORREF color) = 0;
  // Returns the object it replaces, or 0 when `object` is unknown here.
  virtual HGDIOBJ SelectObject(HGDIOBJ object) = 0;
  virtual bool MoveToEx(std::int32_t x, std::int32_t y, POINT* previous) = 0;
  virtual bool LineTo(std::int32_t x, std::int32_t y) = 0;
  virtual bool DeleteObject(HGDIOBJ object) = 0;
};
using HDC = DeviceContext*;

// A window as the drawing calls see it: a client area and a switch that holds
// back its visible updates.
class Window {
 public:
  Window() = default;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  virtual ~Window();

  virtual bool clientRect(RECT* rect) const = 0;
  virtual void setUpdatesLocked(bool locked) = 0;
};
using HWND = Window*;

// Holds back the updates of one window at a time; 0 releases the window held.
// Fails (false) while another window is held.
bool LockWindowUpdate(HWND window);
// The client area of `window`; left and top are 0. False for no window.
bool GetClientRect(HWND window, RECT* rect);

// Anything a painter can draw on: a window and the device context of its
// drawing surface. Either may be missing (null).
class Drawable {
 public:
  virtual ~Drawable() = default;
  virtual HWND hWnd() = 0;
  virtual HDC hDC() = 0;
};

}  // namespace platform
