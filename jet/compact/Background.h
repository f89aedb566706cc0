#pragma once

// Work on the other core: f runs on a thread of its own; join() waits for
// it, reporting progress meanwhile (so a cancel still gets through), and
// rethrows what f threw. Destroyed unjoined, it waits for f to end.

#include <atomic>
#include <chrono>
#include <exception>
#include <thread>

#include "jet/compact/Pacer.h"

namespace jet::compact {

class Background {
 public:
  template <typename F>
  explicit Background(F f)
      : thread_([this, f]() mutable {
          try {
            f();
          } catch (...) {
            failed_ = std::current_exception();
          }
          done_ = true;
        }) {}
  ~Background() {
    if (thread_.joinable()) thread_.join();
  }
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;

  void join(Pacer& pacer, double at) {
    while (!done_) {
      pacer.now(at);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    thread_.join();
    if (failed_) std::rethrow_exception(failed_);
  }

 private:
  std::exception_ptr failed_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace jet::compact
