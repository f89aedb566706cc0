#include "jet/util/Hash.h"

#include <cstring>

namespace jet {

uint64_t hashBytes(const uint8_t* data, size_t size, uint64_t seed) {
  uint64_t h = mix(seed, size);
  size_t i = 0;
  if (size >= 32) {
    // Four independent lanes, so the multiplications overlap.
    uint64_t lane[4] = {h, h ^ 0x9e3779b97f4a7c15ull, h + 0x632be59bd9b4e019ull, ~h};
    for (; i + 32 <= size; i += 32)
      for (int k = 0; k < 4; ++k) {
        uint64_t w;
        std::memcpy(&w, data + i + 8 * k, 8);
        lane[k] = mix(lane[k], w);
      }
    h = mix(mix(lane[0], lane[1]), mix(lane[2], lane[3]));
  }
  for (; i + 8 <= size; i += 8) {
    uint64_t w;
    std::memcpy(&w, data + i, 8);
    h = mix(h, w);
  }
  uint64_t w = 0;
  for (size_t k = 0; i < size; ++i, ++k) w |= uint64_t{data[i]} << (8 * k);
  return mix(h, w);
}

}  // namespace jet
