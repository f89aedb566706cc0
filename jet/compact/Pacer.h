#pragma once

// Progress and cancellation for long work: callers count their steps as
// they go, and the user's callback hears of it several times a second, not
// once per step, so a cancel takes effect within a fraction of a second
// whatever the work is doing.

#include <chrono>
#include <cstdint>

#include "jet/Engine.h"

namespace jet::compact {

class Pacer {
 public:
  explicit Pacer(const Progress& progress) : progress_(progress) {}

  // Work from here on runs from `from` to `to` of the whole.
  void phase(double from, double to) {
    from_ = from;
    to_ = to;
    report(0.0, true);
  }
  // `done` of the phase is done (0..1). Cheap: looks at the clock only every
  // few calls. Throws Error 3059 when the callback asks to stop.
  void step(double done) {
    if ((++calls_ & 63) == 0) report(done, false);
  }
  // Reports now whatever the clock says.
  void now(double done) { report(done, true); }

 private:
  void report(double done, bool force);

  const Progress& progress_;
  double from_ = 0, to_ = 1;
  uint64_t calls_ = 0;
  bool cancelled_ = false;
  std::chrono::steady_clock::time_point last_{};
};

[[noreturn]] void throwCancelled();

}  // namespace jet::compact
