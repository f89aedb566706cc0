#include "jet/compact/Pacer.h"

#include <algorithm>

namespace jet::compact {

void throwCancelled() { throw Error(3059, "Operation canceled by user."); }

void Pacer::report(double done, bool force) {
  if (!progress_) return;
  // Once told to stop, it is not asked again: work still unwinding (a flush
  // being waited for) only hears the same answer.
  if (cancelled_) throwCancelled();
  const auto now = std::chrono::steady_clock::now();
  if (!force && now - last_ < std::chrono::milliseconds(50)) return;
  last_ = now;
  // Steps inside a phase may restart (a table's indexes after its rows); the
  // user only ever sees the furthest point reached.
  reported_ = std::max(reported_, from_ + (to_ - from_) * std::clamp(done, 0.0, 1.0));
  if (!progress_(reported_)) {
    cancelled_ = true;
    throwCancelled();
  }
}

}  // namespace jet::compact
