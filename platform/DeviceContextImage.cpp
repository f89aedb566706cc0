#include "platform/DeviceContextImage.h"

#include "platform/DeviceContextLine.h"

namespace platform {

ImageDeviceContext::ImageDeviceContext(QImage* image) : image_(image) {
  pens_.push_back(Pen{true, qRgb(0, 0, 0)});
}

ImageDeviceContext::Pen* ImageDeviceContext::find(HGDIOBJ object) {
  if (object == 0 || object > pens_.size()) return nullptr;
  Pen& pen = pens_[object - 1];
  return pen.live ? &pen : nullptr;
}

HPEN ImageDeviceContext::CreatePen(int /*style*/, int /*width*/, COLORREF color) {
  const Pen pen{true, qRgb(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF)};
  if (!free_.empty()) {
    const HGDIOBJ handle = free_.back();
    free_.pop_back();
    pens_[handle - 1] = pen;
    return handle;
  }
  pens_.push_back(pen);
  return static_cast<HGDIOBJ>(pens_.size());
}

HGDIOBJ ImageDeviceContext::SelectObject(HGDIOBJ object) {
  if (find(object) == nullptr) return 0;
  const HGDIOBJ previous = selected_;
  selected_ = object;
  return previous;
}

bool ImageDeviceContext::MoveToEx(std::int32_t x, std::int32_t y, POINT* previous) {
  if (previous != nullptr) *previous = position_;
  position_ = POINT{x, y};
  return true;
}

bool ImageDeviceContext::LineTo(std::int32_t x, std::int32_t y) {
  const POINT from = position_;
  position_ = POINT{x, y};
  if (image_ == nullptr || image_->depth() != 32) return false;
  const Pen* pen = find(selected_);
  if (pen == nullptr) return false;
  const QRgb rgb = pen->rgb;
  uchar* const bits = image_->bits();
  const qsizetype stride = image_->bytesPerLine();
  RasteriseLine(from.x, from.y, x, y, image_->width(), image_->height(),
                [&](std::int32_t px, std::int32_t py) {
                  reinterpret_cast<QRgb*>(bits + py * stride)[px] = rgb;
                });
  return true;
}

bool ImageDeviceContext::DeleteObject(HGDIOBJ object) {
  if (object == kBlackPen) return true;  // stock objects are never deleted
  // GDI refuses to delete a pen that is still selected.
  if (find(object) == nullptr || object == selected_) return false;
  pens_[object - 1].live = false;
  free_.push_back(object);
  return true;
}

int ImageDeviceContext::livePens() const {
  int count = 0;
  for (std::size_t i = 1; i < pens_.size(); ++i) count += pens_[i].live ? 1 : 0;
  return count;
}

}  // namespace platform
