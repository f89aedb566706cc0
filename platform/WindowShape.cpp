#include "platform/WindowShape.h"

#include <algorithm>

namespace platform {

int roundRectInset(int y, int height) {
  if (y < 0 || y >= height) return 0;
  const int fromEdge = std::min(y, height - 1 - y);
  return fromEdge < kCornerRows ? kCornerInsets[fromEdge] : 0;
}

QRegion roundRectRegion(int width, int height) {
  QRegion region;
  if (width <= 0 || height <= 0) return region;
  // Runs of rows with the same inset become one rectangle; a full-width body
  // and a few corner rows keep the region small.
  int runStart = 0;
  for (int y = 1; y <= height; ++y) {
    const int inset = roundRectInset(runStart, height);
    if (y < height && roundRectInset(y, height) == inset) continue;
    if (width > 2 * inset) region += QRect(inset, runStart, width - 2 * inset, y - runStart);
    runStart = y;
  }
  return region;
}

}  // namespace platform
