#include "support/RecordingDeviceContext.h"

#include <algorithm>
#include <sstream>

RecordingDeviceContext::RecordingDeviceContext(std::int32_t width, std::int32_t height)
    : width_(width), height_(height) {}

bool RecordingDeviceContext::clientRect(platform::RECT* rect) const {
  if (failClientRect) return false;
  *rect = platform::RECT{0, 0, width_, height_};
  return true;
}

void RecordingDeviceContext::setUpdatesLocked(bool locked) {
  locked_ = locked;
  record(GdiCall{locked ? GdiCall::Lock : GdiCall::Unlock});
}

platform::HPEN RecordingDeviceContext::CreatePen(int style, int width, platform::COLORREF color) {
  const platform::HGDIOBJ pen = next_++;
  live_.emplace_back(pen, color);
  GdiCall c{GdiCall::CreatePen};
  c.handle = pen;
  c.color = color;
  c.style = style;
  c.width = width;
  record(c);
  return pen;
}

platform::HGDIOBJ RecordingDeviceContext::SelectObject(platform::HGDIOBJ object) {
  GdiCall c{GdiCall::SelectObject};
  c.handle = object;
  record(c);
  const bool known = object == kStockPen || std::any_of(live_.begin(), live_.end(),
                                                        [&](auto& p) { return p.first == object; });
  if (!known) return 0;
  const platform::HGDIOBJ previous = selected_;
  selected_ = object;
  return previous;
}

bool RecordingDeviceContext::MoveToEx(std::int32_t x, std::int32_t y, platform::POINT* previous) {
  if (previous != nullptr) *previous = position_;
  position_ = platform::POINT{x, y};
  GdiCall c{GdiCall::MoveToEx};
  c.x = x;
  c.y = y;
  record(c);
  return true;
}

bool RecordingDeviceContext::LineTo(std::int32_t x, std::int32_t y) {
  if (onLineTo) onLineTo(x, y);
  position_ = platform::POINT{x, y};
  GdiCall c{GdiCall::LineTo};
  c.x = x;
  c.y = y;
  record(c);
  return true;
}

bool RecordingDeviceContext::DeleteObject(platform::HGDIOBJ object) {
  GdiCall c{GdiCall::DeleteObject};
  c.handle = object;
  record(c);
  if (object == selected_) return false;
  const auto it =
      std::find_if(live_.begin(), live_.end(), [&](auto& p) { return p.first == object; });
  if (it == live_.end()) return false;
  live_.erase(it);
  return true;
}

std::vector<RecordedLine> RecordingDeviceContext::lines() const {
  std::vector<RecordedLine> out;
  std::vector<std::pair<platform::HGDIOBJ, platform::COLORREF>> pens;
  platform::HGDIOBJ selected = kStockPen;
  platform::POINT at;
  for (const GdiCall& c : calls) {
    switch (c.kind) {
      case GdiCall::CreatePen:
        pens.emplace_back(c.handle, c.color);
        break;
      case GdiCall::SelectObject:
        selected = c.handle;
        break;
      case GdiCall::MoveToEx:
        at = platform::POINT{c.x, c.y};
        break;
      case GdiCall::LineTo: {
        platform::COLORREF color = 0;
        for (auto& p : pens) {
          if (p.first == selected) color = p.second;
        }
        out.push_back(RecordedLine{at.x, at.y, c.x, c.y, color});
        at = platform::POINT{c.x, c.y};
        break;
      }
      default:
        break;
    }
  }
  return out;
}

void RecordingDeviceContext::record(const GdiCall& call) {
  ++counts_[call.kind];
  if (keepCalls) calls.push_back(call);
}

std::string RecordingDeviceContext::describe(std::size_t maxCalls) const {
  static const char* const names[] = {"Lock",   "Unlock", "ClientRect", "CreatePen",
                                      "Select", "MoveTo", "LineTo",     "Delete"};
  std::ostringstream s;
  for (std::size_t i = 0; i < calls.size() && i < maxCalls; ++i) {
    const GdiCall& c = calls[i];
    s << names[c.kind] << "(" << c.x << "," << c.y << " h" << c.handle << " #" << std::hex
      << c.color << std::dec << ") ";
  }
  return s.str();
}
