#pragma once

#include <algorithm>
#include <cstdint>

namespace platform {

// Octant of the direction (dx, dy), numbered 1 to 8 clockwise from +x with y
// growing downwards, as GDI numbers them for its tie rules.
inline int LineOctant(std::int64_t dx, std::int64_t dy) {
  if (dy > 0) {
    if (dx > 0) return dx > dy ? 1 : 2;
    return -dx > dy ? 4 : 3;
  }
  if (dx < 0) return -dx > -dy ? 5 : 6;
  return dx > -dy ? 8 : 7;
}

// In these octants GDI takes the minor step on an exact tie, so that a line
// and its reverse do not always light the same pixels.
inline bool LineOctantBias(int octant) {
  return octant == 3 || octant == 5 || octant == 6 || octant == 8;
}

// Minor steps taken before pixel k of a Bresenham walk with the given major
// and minor extents: the closed form of the error-term loop, so that a walk
// can start at any k.
inline std::int64_t LineMinorSteps(std::int64_t k, std::int64_t major, std::int64_t minor,
                                   std::int64_t bias) {
  // Extents reach 2^32, so the products need more than 64 bits.
  const __int128 num = __int128{2} * minor * k + major - 1 + bias;
  return static_cast<std::int64_t>(num / (__int128{2} * major));
}

// Calls plot(x, y) for each pixel that GDI paints for a line from (x0, y0) to
// (x1, y1): the start pixel included, the end pixel left out, ties decided by
// octant. Only pixels inside 0 <= x < width, 0 <= y < height are reported;
// the walk skips straight to the part of the line inside that band.
template <typename Plot>
void RasteriseLine(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                   std::int32_t width, std::int32_t height, Plot&& plot) {
  const std::int64_t dx = std::int64_t{x1} - x0;
  const std::int64_t dy = std::int64_t{y1} - y0;
  const std::int64_t adx = dx < 0 ? -dx : dx;
  const std::int64_t ady = dy < 0 ? -dy : dy;
  const bool xMajor = adx >= ady;
  const std::int64_t major = xMajor ? adx : ady;
  const std::int64_t minor = xMajor ? ady : adx;
  if (major == 0 || width <= 0 || height <= 0) return;
  const std::int64_t bias = LineOctantBias(LineOctant(dx, dy)) ? 1 : 0;

  const std::int64_t majorStart = xMajor ? x0 : y0;
  const std::int64_t minorStart = xMajor ? y0 : x0;
  const std::int64_t majorDir = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const std::int64_t minorDir = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const std::int64_t majorLimit = xMajor ? width : height;
  const std::int64_t minorLimit = xMajor ? height : width;

  // Pixels k = 0 .. major - 1 whose major coordinate lies in [0, majorLimit).
  std::int64_t kFirst = 0;
  std::int64_t kLast = major - 1;
  if (majorDir > 0) {
    kFirst = std::max(kFirst, -majorStart);
    kLast = std::min(kLast, majorLimit - 1 - majorStart);
  } else {
    kFirst = std::max(kFirst, majorStart - (majorLimit - 1));
    kLast = std::min(kLast, majorStart);
  }
  if (kFirst > kLast) return;

  std::int64_t steps = LineMinorSteps(kFirst, major, minor, bias);
  std::int64_t err = static_cast<std::int64_t>(__int128{2} * minor * (kFirst + 1) - major -
                                               __int128{2} * major * steps);
  std::int64_t a = majorStart + majorDir * kFirst;
  std::int64_t b = minorStart + minorDir * steps;
  if (minor == 0 && (b < 0 || b >= minorLimit)) return;
  for (std::int64_t k = kFirst; k <= kLast; ++k) {
    if (b >= 0 && b < minorLimit) {
      if (xMajor) {
        plot(static_cast<std::int32_t>(a), static_cast<std::int32_t>(b));
      } else {
        plot(static_cast<std::int32_t>(b), static_cast<std::int32_t>(a));
      }
    } else if ((minorDir > 0) == (b >= minorLimit)) {
      break;  // the minor coordinate only moves further out from here
    }
    if (err + bias > 0) {
      b += minorDir;
      err += 2 * (minor - major);
    } else {
      err += 2 * minor;
    }
    a += majorDir;
  }
}

}  // namespace platform
