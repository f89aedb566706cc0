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

  // Work from here on runs from `from` to `to` of the enclosing part (the
  // whole, outside any Part).
  void phase(double from, double to) {
    from_ = outerFrom_ + (outerTo_ - outerFrom_) * from;
    to_ = outerFrom_ + (outerTo_ - outerFrom_) * to;
    report(0.0, true);
  }
  // The current phase, while it lives, is the whole to the phases set
  // inside it: a callee counts 0..1 of whatever share its caller gave it.
  class Part {
   public:
    explicit Part(Pacer& p)
        : p_(p), from_(p.outerFrom_), to_(p.outerTo_), phaseFrom_(p.from_), phaseTo_(p.to_) {
      p.outerFrom_ = p.from_;
      p.outerTo_ = p.to_;
    }
    ~Part() {
      p_.outerFrom_ = from_;
      p_.outerTo_ = to_;
      p_.from_ = phaseFrom_;
      p_.to_ = phaseTo_;
    }
    Part(const Part&) = delete;
    Part& operator=(const Part&) = delete;

   private:
    Pacer& p_;
    double from_, to_, phaseFrom_, phaseTo_;
  };
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
  double outerFrom_ = 0, outerTo_ = 1;
  double reported_ = 0;  // what the user saw last: the value never goes back
  uint64_t calls_ = 0;
  bool cancelled_ = false;
  std::chrono::steady_clock::time_point last_{};
};

[[noreturn]] void throwCancelled();

}  // namespace jet::compact
