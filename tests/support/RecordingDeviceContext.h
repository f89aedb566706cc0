#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/DeviceContext.h"

// A line as drawn: from the current position to the LineTo point, in the
// colour of the pen selected at the time.
struct RecordedLine {
  std::int32_t x0, y0, x1, y1;
  platform::COLORREF color;
  bool operator==(const RecordedLine&) const = default;
};

// A drawing target for tests: window, client area and device context in one,
// recording the lines drawn and the pens left alive. Pens get handles from
// 100 up; the context starts with stock pen 1 selected.
class RecordingDeviceContext : public platform::Drawable,
                               public platform::Window,
                               public platform::DeviceContext {
 public:
  RecordingDeviceContext(std::int32_t width, std::int32_t height) : w_(width), h_(height) {}

  platform::HWND hWnd() override { return this; }
  platform::HDC hDC() override { return this; }
  bool clientRect(platform::RECT* r) const override {
    *r = platform::RECT{0, 0, w_, h_};
    return !failClientRect;
  }
  void setUpdatesLocked(bool locked) override { locked_ = locked; }

  platform::HPEN CreatePen(int style, int width, platform::COLORREF color) override {
    pens_.push_back({next_, style == platform::PS_SOLID && width == 1 ? color : 0xBAD0BAD});
    return next_++;
  }
  platform::HGDIOBJ SelectObject(platform::HGDIOBJ object) override {
    if (object != kStockPen && pen(object) == pens_.end()) return 0;
    return std::exchange(selected_, object);
  }
  bool MoveToEx(std::int32_t x, std::int32_t y, platform::POINT* previous) override {
    if (previous) *previous = at_;
    at_ = {x, y};
    return true;
  }
  bool LineTo(std::int32_t x, std::int32_t y) override {
    const auto p = pen(selected_);
    lines.push_back({at_.x, at_.y, x, y, p == pens_.end() ? 0 : p->second});
    at_ = {x, y};
    return true;
  }
  bool DeleteObject(platform::HGDIOBJ object) override {
    const auto p = pen(object);
    if (object == selected_ || p == pens_.end()) return false;
    pens_.erase(p);
    return true;
  }

  std::vector<RecordedLine> lines;
  bool failClientRect = false;

  bool updatesLocked() const { return locked_; }
  // Pens created and not deleted, and whether the stock pen is selected again.
  bool clean() const { return pens_.empty() && selected_ == kStockPen && !locked_; }

  static constexpr platform::HGDIOBJ kStockPen = 1;

 private:
  using Pens = std::vector<std::pair<platform::HGDIOBJ, platform::COLORREF>>;
  Pens::iterator pen(platform::HGDIOBJ h) {
    return std::find_if(pens_.begin(), pens_.end(), [h](auto& p) { return p.first == h; });
  }
  std::int32_t w_, h_;
  bool locked_ = false;
  platform::HGDIOBJ next_ = 100, selected_ = kStockPen;
  Pens pens_;
  platform::POINT at_;
};
