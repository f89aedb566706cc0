#pragma once

#include <cstdint>

#include "platform/RuntimeError.h"

namespace platform {

// A 16-bit signed counter whose every assignment is range-checked: a result
// outside -32768..32767 throws RuntimeError 6 ("Overflow") instead of wrapping.
class Int16 {
 public:
  constexpr Int16() = default;
  Int16(long long v) : v_(check(v)) {}  // NOLINT: counters are assigned plain numbers
  Int16& operator=(long long v) {
    v_ = check(v);
    return *this;
  }
  Int16& operator+=(long long d) { return *this = static_cast<long long>(v_) + d; }
  Int16& operator-=(long long d) { return *this = static_cast<long long>(v_) - d; }
  Int16& operator++() { return *this += 1; }
  operator int() const { return v_; }  // NOLINT: reads like a plain integer

 private:
  static int16_t check(long long v) {
    if (v < INT16_MIN || v > INT16_MAX) throw RuntimeError(6, "Overflow");
    return static_cast<int16_t>(v);
  }
  int16_t v_ = 0;
};

}  // namespace platform
