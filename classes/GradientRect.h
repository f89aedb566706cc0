#pragma once

#include <cstdint>
#include <vector>

#include "platform/DeviceContext.h"

// Fills a window's client area with a two-colour linear gradient at any angle.
// It draws parallel one-pixel lines across the gradient's direction, each in
// one colour of a ramp from Color1 to Color2, long enough to overshoot the
// area at both ends. Colours are 0x00BBGGRR; a negative colour whose low 31
// bits are 0 to 24 names a system colour and is replaced by its current value.
class clsGradient {
 public:
  clsGradient() = default;

  // Paints the whole client area of `picObj`, holding back the window's
  // updates meanwhile. True when the area was painted. Errors end in a
  // warning box, never in an exception.
  bool Draw(platform::Drawable* picObj);

  // Fills `laRetColors` with max(lSteps, 2) colours running from lColor1 to
  // lColor2 and returns that count. The last step, to lColor2, is twice the
  // size of the others.
  std::int32_t BlendColors(std::int32_t lColor1, std::int32_t lColor2, std::int32_t lSteps,
                           std::vector<std::int32_t>& laRetColors);

  std::int32_t Color1() const { return m_Color1; }
  void setColor1(std::int32_t lData);
  std::int32_t Color2() const { return m_Color2; }
  void setColor2(std::int32_t lData);
  // Degrees counter-clockwise from the right on screen, held in [0, 360).
  float Angle() const { return m_Angle; }
  void setAngle(float fData);

 private:
  struct FloatPoint {
    float X = 0;
    float Y = 0;
  };

  std::int32_t PaintGradient(platform::HDC hDC, std::int32_t W, std::int32_t H);
  static void RotatePoint(const FloatPoint& C, FloatPoint& P, float degrees);
  static double SafeDivide(double a, double b);

  friend struct GradientProbe;  // tests reach the private routines through it

  std::int32_t m_Color1 = 16777168;
  std::int32_t m_Color2 = 4194304;
  float m_Angle = 315;
};
