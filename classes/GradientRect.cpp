#include "classes/GradientRect.h"

#include <cmath>
#include <new>
#include <stdexcept>

#include "platform/MessageBox.h"
#include "platform/RuntimeError.h"
#include "platform/SysColor.h"

namespace {

// The working arithmetic stores some values in single precision and converts
// reals to 32-bit integers rounding half to even; both steps must stay exactly
// as they are, since they decide which pixel each line starts on.

[[noreturn]] void overflow() { throw platform::RuntimeError(6, "Overflow"); }

float toSingle(double v) {
  const float f = static_cast<float>(v);
  if (!std::isfinite(f)) overflow();
  return f;
}

std::int32_t toLong(double v) {
  const double r = std::nearbyint(v);  // default mode: halves to even
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) overflow();
  return static_cast<std::int32_t>(r);
}

std::int32_t addLong(std::int32_t a, std::int32_t b) {
  std::int32_t r;
  if (__builtin_add_overflow(a, b, &r)) overflow();
  return r;
}

QString describe(const std::exception& e) {
  if (const auto* r = dynamic_cast<const platform::RuntimeError*>(&e)) return r->description();
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) return "Out of memory";
  if (dynamic_cast<const std::out_of_range*>(&e) != nullptr) return "Subscript out of range";
  return QString::fromStdString(e.what());
}

bool isSysColorReference(std::int32_t c) { return c < 0 && (c & 0x7FFFFFFF) <= 24; }

std::int32_t resolveColor(std::int32_t c) {
  if (!isSysColorReference(c)) return c;
  return static_cast<std::int32_t>(platform::GetSysColor(c & 0x7FFFFFFF));
}

// The line-end list is bounded as a 32-bit process's memory bounded it: an
// absurdly large area fails as out of memory instead of exhausting the machine.
constexpr std::size_t kMaxLineEnds = std::size_t{1} << 21;

// One end of a gradient line, in the target's pixels.
struct LineEnd {
  std::int32_t X = 0;
  std::int32_t Y = 0;
};

// A pen selected for one line; released again even when the line fails.
class SelectedPen {
 public:
  SelectedPen(platform::HDC dc, platform::COLORREF color)
      : dc_(dc), pen_(dc->CreatePen(platform::PS_SOLID, 1, color)), old_(dc->SelectObject(pen_)) {}
  ~SelectedPen() {
    dc_->SelectObject(old_);
    dc_->DeleteObject(pen_);
  }
  SelectedPen(const SelectedPen&) = delete;
  SelectedPen& operator=(const SelectedPen&) = delete;

 private:
  platform::HDC dc_;
  platform::HPEN pen_;
  platform::HGDIOBJ old_;
};

}  // namespace

void clsGradient::setColor1(std::int32_t lData) { m_Color1 = resolveColor(lData); }

void clsGradient::setColor2(std::int32_t lData) { m_Color2 = resolveColor(lData); }

void clsGradient::setAngle(float fData) {
  const double d = fData;
  m_Angle = static_cast<float>(d - 360.0 * std::floor(d / 360.0));
}

bool clsGradient::Draw(platform::Drawable* picObj) {
  bool painted = false;
  try {
    if (picObj == nullptr) {
      throw platform::RuntimeError(91, "Object variable or With block variable not set");
    }
    const platform::HWND hWnd = picObj->hWnd();
    if (hWnd == nullptr) throw platform::RuntimeError(438, "The target has no window");
    platform::LockWindowUpdate(hWnd);
    platform::RECT rc;
    if (platform::GetClientRect(hWnd, &rc) && rc.right > 1 && rc.bottom > 1) {
      const platform::HDC hDC = picObj->hDC();
      if (hDC == nullptr) throw platform::RuntimeError(438, "The target has no drawing surface");
      painted = PaintGradient(hDC, rc.right, rc.bottom) > 0;
    }
  } catch (const std::exception& e) {
    platform::MsgBox(describe(e), platform::vbExclamation);
  }
  platform::LockWindowUpdate(nullptr);
  return painted;
}

std::int32_t clsGradient::PaintGradient(platform::HDC hDC, std::int32_t W, std::int32_t H) {
  std::int32_t result = 0;
  // Each failing step shows one message and is not retried; the pass goes on
  // with what the earlier steps built, so no step can repeat its message. A
  // pass with a failed step has not painted the whole area and reports 0.
  bool failed = false;
  auto fail = [&failed](const std::exception& e) {
    platform::MsgBox(describe(e), platform::vbExclamation, "GradientRect");
    failed = true;
  };

  std::vector<LineEnd> ends;
  std::int32_t i = 0;
  std::int32_t stepX = 0;
  std::int32_t stepY = 0;
  try {
    const FloatPoint C{toSingle(std::floor(W / 2.0)), toSingle(std::floor(H / 2.0))};
    const double M = W > H ? W : H;
    const float R = toSingle((std::sqrt(M * M + M * M) + 2) / 2);
    FloatPoint S{toSingle(double{C.X} - R), C.Y};
    FloatPoint E{toSingle(double{R} + C.X), C.Y};
    const double up = double{m_Angle} + 90;
    const float a = toSingle(up - 360 * std::floor(up / 360));
    RotatePoint(C, S, a);
    RotatePoint(C, E, a);

    const float dX = toSingle(std::fabs(double{S.X} - E.X));
    const float dY = toSingle(std::fabs(double{S.Y} - E.Y));
    const bool steep = dY >= dX;
    // Start at or just past the edge where Color1 belongs.
    float offX = 0;
    float offY = 0;
    const bool towardsLeftOrUp = m_Angle > 90 && m_Angle <= 270;  // steep rows 2 and 3
    const bool towardsUp = m_Angle >= 0 && m_Angle <= 180;        // flat rows 1 and 2
    if (steep) {
      if (towardsLeftOrUp) {
        stepX = -1;
        offX = toSingle(W - double{std::min(S.X, E.X)});
      } else {
        stepX = 1;
        offX = -std::max(S.X, E.X);
      }
    } else {
      if (towardsUp) {
        stepY = -1;
        offY = toSingle(H - double{std::min(S.Y, E.Y)});
      } else {
        stepY = 1;
        offY = -std::max(S.Y, E.Y);
      }
    }

    ends.resize(1000);
    ends[0] = LineEnd{toLong(double{offX} + S.X), toLong(double{offY} + S.Y)};
    ends[1] = LineEnd{toLong(double{offX} + E.X), toLong(double{offY} + E.Y)};
    i = 2;
  } catch (const std::exception& e) {
    fail(e);  // no first line: nothing to sweep
  }

  if (i == 2) {
    try {
      bool done = false;
      do {
        ends[i] = LineEnd{addLong(ends[i - 2].X, stepX), addLong(ends[i - 2].Y, stepY)};
        i = addLong(i, 1);
        // Checked after every entry, so the list may end with a lone start point.
        const LineEnd& p = ends[i - 1];
        const LineEnd& q = ends[i - 2];
        if (stepX > 0) {
          done = p.X > W && q.X > W;
        } else if (stepX < 0) {
          done = p.X < 0 && q.X < 0;
        } else if (stepY > 0) {
          done = p.Y > H && q.Y > H;
        } else {
          done = p.Y < 0 && q.Y < 0;
        }
        if (i % 1000 == 0) {
          if (ends.size() + 1000 > kMaxLineEnds) throw std::bad_alloc();
          ends.resize(ends.size() + 1000);
        }
      } while (!done);
    } catch (const std::exception& e) {
      fail(e);  // the lines built so far are still drawn
    }
  }
  const std::int32_t n = i;
  ends.resize(static_cast<std::size_t>(n));

  std::vector<std::int32_t> ramp;
  bool haveRamp = false;
  if (n > 0) {
    try {
      BlendColors(m_Color1, m_Color2, toLong(n / 2.0), ramp);
      haveRamp = true;
    } catch (const std::exception& e) {
      fail(e);
    }
  }

  std::int32_t j = 0;
  if (haveRamp) {
    try {
      const std::int32_t last = n - 2;
      for (j = 0; j <= last; j += 2) {
        hDC->MoveToEx(ends[j].X, ends[j].Y, nullptr);
        const SelectedPen pen(hDC, static_cast<platform::COLORREF>(ramp.at(j / 2)));
        hDC->LineTo(ends[j + 1].X, ends[j + 1].Y);
      }
      if (!failed) result = j;
    } catch (const std::exception& e) {
      fail(e);
    }
  }
  return result;
}

void clsGradient::RotatePoint(const FloatPoint& C, FloatPoint& P, float degrees) {
  const double r = toSingle(degrees * (3.14159265358979 / 180));
  const double dx = toSingle(double{P.X} - C.X);
  const double dy = toSingle(double{P.Y} - C.Y);
  P.X = toSingle((dy * std::sin(r) + dx * std::cos(r)) + C.X);
  P.Y = toSingle(C.Y - (dx * std::sin(r) - dy * std::cos(r)));
}

double clsGradient::SafeDivide(double a, double b) { return b != 0 ? a / b : 0; }

std::int32_t clsGradient::BlendColors(std::int32_t lColor1, std::int32_t lColor2,
                                      std::int32_t lSteps, std::vector<std::int32_t>& laRetColors) {
  if (lSteps < 2) lSteps = 2;
  const auto channel = [](std::int32_t c, int shift) {
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(c) >> shift) & 0xFF);
  };
  const std::int32_t R1 = channel(lColor1, 0), G1 = channel(lColor1, 8), B1 = channel(lColor1, 16);
  const std::int32_t R2 = channel(lColor2, 0), G2 = channel(lColor2, 8), B2 = channel(lColor2, 16);
  const float steps = static_cast<float>(lSteps);
  const double dR = toSingle(SafeDivide(static_cast<float>(R2 - R1), steps));
  const double dG = toSingle(SafeDivide(static_cast<float>(G2 - G1), steps));
  const double dB = toSingle(SafeDivide(static_cast<float>(B2 - B1), steps));

  laRetColors.assign(static_cast<std::size_t>(lSteps), 0);
  laRetColors[0] = lColor1;
  laRetColors[lSteps - 1] = lColor2;
  for (std::int32_t i = 1; i <= lSteps - 2; ++i) {
    const double fi = static_cast<float>(i);
    laRetColors[i] =
        toLong(fi * dR + R1) + toLong(fi * dG + G1) * 256 + toLong(fi * dB + B1) * 65536;
  }
  return lSteps;
}
