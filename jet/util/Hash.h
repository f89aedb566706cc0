#pragma once

// A fast non-cryptographic hash, for comparing what compaction read with
// what it wrote. Not stored anywhere: it may change between versions.

#include <cstddef>
#include <cstdint>

namespace jet {

uint64_t hashBytes(const uint8_t* data, size_t size, uint64_t seed = 0);

inline uint64_t mix(uint64_t a, uint64_t b) {
  uint64_t x = a ^ (b + 0x9e3779b97f4a7c15ull + (a << 6) + (a >> 2));
  x ^= x >> 31;
  x *= 0xbf58476d1ce4e5b9ull;
  x ^= x >> 29;
  return x;
}

// A multiset of checksums, order-independent: two streams of the same items
// in any order give equal sets.
struct Multiset {
  uint64_t count = 0, sum = 0, xr = 0;
  void add(uint64_t h) {
    ++count;
    sum += h;
    xr ^= mix(h, 0x5bd1e995);
  }
  bool operator==(const Multiset&) const = default;
};

}  // namespace jet
