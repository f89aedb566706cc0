#pragma once

#include <QImage>

#include "platform/DeviceContext.h"
#include "platform/DeviceContextImage.h"

namespace apptest {

// An image with a window around it, as a window with AutoRedraw offers: what
// is drawn on it lands in image, whose size is the client area.
struct ImageTarget : platform::Drawable, platform::Window {
  ImageTarget(int w, int h) : image(w, h, QImage::Format_RGB32), dc(&image) {}
  platform::HWND hWnd() override { return this; }
  platform::HDC hDC() override { return &dc; }
  bool clientRect(platform::RECT* r) const override {
    *r = platform::RECT{0, 0, image.width(), image.height()};
    return true;
  }
  void setUpdatesLocked(bool) override {}
  QImage image;
  platform::ImageDeviceContext dc;
};

}  // namespace apptest
