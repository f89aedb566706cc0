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
  if (!progress_(from_ + (to_ - from_) * std::clamp(done, 0.0, 1.0))) {
    cancelled_ = true;
    throwCancelled();
  }
}

}  // namespace jet::compact
