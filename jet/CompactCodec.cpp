#include "jet/CompactCodec.h"

#include <utility>

namespace jet::compact {

void rc4Xor(uint32_t key, uint8_t* data, size_t size) {
  const uint8_t k[4] = {static_cast<uint8_t>(key), static_cast<uint8_t>(key >> 8),
                        static_cast<uint8_t>(key >> 16), static_cast<uint8_t>(key >> 24)};
  uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<uint8_t>(j + s[i] + k[i % 4]);
    std::swap(s[i], s[j]);
  }
  uint8_t a = 0, b = 0;
  for (size_t n = 0; n < size; ++n) {
    a = static_cast<uint8_t>(a + 1);
    b = static_cast<uint8_t>(b + s[a]);
    std::swap(s[a], s[b]);
    data[n] ^= s[static_cast<uint8_t>(s[a] + s[b])];
  }
}

void maskHeader(uint8_t* page0, bool jet4) { rc4Xor(0x6b39dac7u, page0 + 0x18, jet4 ? 128 : 126); }

}  // namespace jet::compact
