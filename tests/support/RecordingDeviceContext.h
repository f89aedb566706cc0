#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/DeviceContext.h"

// One call made on a RecordingDeviceContext, in the order made.
struct GdiCall {
  enum Kind { Lock, Unlock, ClientRect, CreatePen, SelectObject, MoveToEx, LineTo, DeleteObject };
  Kind kind;
  std::int32_t x = 0;  // MoveToEx, LineTo
  std::int32_t y = 0;
  platform::HGDIOBJ handle = 0;  // CreatePen: the new pen; SelectObject, DeleteObject: argument
  platform::COLORREF color = 0;  // CreatePen
  int style = 0;
  int width = 0;
};

// A line as drawn: from the current position to the LineTo point, in the
// colour of the pen selected at the time.
struct RecordedLine {
  std::int32_t x0, y0, x1, y1;
  platform::COLORREF color;
  bool operator==(const RecordedLine&) const = default;
};

// A drawing target for tests: window, client area and device context in one,
// recording every call. Pens get handles from 100 up; the context starts with
// stock pen 1 selected. A client size that GetClientRect should report as a
// failure is set with failClientRect.
class RecordingDeviceContext : public platform::Drawable,
                               public platform::Window,
                               public platform::DeviceContext {
 public:
  RecordingDeviceContext(std::int32_t width, std::int32_t height);

  // Drawable
  platform::HWND hWnd() override { return this; }
  platform::HDC hDC() override { return this; }

  // Window
  bool clientRect(platform::RECT* rect) const override;
  void setUpdatesLocked(bool locked) override;

  // DeviceContext
  platform::HPEN CreatePen(int style, int width, platform::COLORREF color) override;
  platform::HGDIOBJ SelectObject(platform::HGDIOBJ object) override;
  bool MoveToEx(std::int32_t x, std::int32_t y, platform::POINT* previous) override;
  bool LineTo(std::int32_t x, std::int32_t y) override;
  bool DeleteObject(platform::HGDIOBJ object) override;

  std::vector<GdiCall> calls;
  // With false, calls are only counted (for passes of millions of lines).
  bool keepCalls = true;
  bool failClientRect = false;
  // Called at each LineTo before it is recorded; a test may throw from it.
  std::function<void(std::int32_t x, std::int32_t y)> onLineTo;

  std::vector<RecordedLine> lines() const;
  int count(GdiCall::Kind kind) const { return counts_[kind]; }
  bool updatesLocked() const { return locked_; }
  // Pens created and not deleted, and whether the stock pen is selected again.
  int livePens() const { return static_cast<int>(live_.size()); }
  platform::HGDIOBJ selected() const { return selected_; }
  // A readable dump for failure messages.
  std::string describe(std::size_t maxCalls = 40) const;

  static constexpr platform::HGDIOBJ kStockPen = 1;

 private:
  std::int32_t width_;
  std::int32_t height_;
  bool locked_ = false;
  platform::HGDIOBJ next_ = 100;
  platform::HGDIOBJ selected_ = kStockPen;
  std::vector<std::pair<platform::HGDIOBJ, platform::COLORREF>> live_;
  platform::POINT position_;
  int counts_[GdiCall::DeleteObject + 1] = {};

  void record(const GdiCall& call);
};
