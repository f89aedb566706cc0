#pragma once

// RC4, which Jet uses for the header mask of page 0 and the per-page encoding
// of encoded databases: not security, only the file's own scrambling.

#include <cstddef>
#include <cstdint>

namespace jet {

class Rc4 {
 public:
  Rc4(const uint8_t* key, size_t keyLength);
  // XORs data with the next bytes of the key stream (encode = decode).
  void apply(uint8_t* data, size_t length);
  // The whole stream of a 4-byte key, given as a little-endian number.
  static void apply(uint32_t key, uint8_t* data, size_t length);

 private:
  uint8_t s_[256];
  uint8_t i_ = 0, j_ = 0;
};

}  // namespace jet
