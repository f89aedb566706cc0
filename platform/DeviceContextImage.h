#pragma once

#include <QImage>
#include <vector>

#include "platform/DeviceContext.h"

namespace platform {

// A device context that draws into a QImage (32 bits per pixel) the way GDI
// draws on a bitmap: one-pixel lines, start pixel painted, end pixel not.
// Pens of any width draw one pixel wide; the program asks for no other.
// The image must outlive the context and keep a 32-bit format.
class ImageDeviceContext : public DeviceContext {
 public:
  explicit ImageDeviceContext(QImage* image);

  HPEN CreatePen(int style, int width, COLORREF color) override;
  HGDIOBJ SelectObject(HGDIOBJ object) override;
  bool MoveToEx(std::int32_t x, std::int32_t y, POINT* previous) override;
  bool LineTo(std::int32_t x, std::int32_t y) override;
  bool DeleteObject(HGDIOBJ object) override;

  // The pen selected at creation, as in every new GDI context.
  static constexpr HGDIOBJ kBlackPen = 1;

  // Pens created and not yet deleted.
  int livePens() const;

 private:
  struct Pen {
    bool live = false;
    QRgb rgb = 0;
  };
  Pen* find(HGDIOBJ object);

  QImage* image_;
  std::vector<Pen> pens_;  // handle h lives at pens_[h - 1]
  std::vector<HGDIOBJ> free_;
  HGDIOBJ selected_ = kBlackPen;
  POINT position_;
};

}  // namespace platform
