#pragma once

// RC4 as Jet uses it: the header mask of page 0 and the per-page encoding of
// encoded databases. Not security, only the file's own scrambling.

#include <cstddef>
#include <cstdint>

namespace jet {

class Rc4 {
 public:
  Rc4(const uint8_t* key, size_t keyLength);
  // XORs data with the next bytes of the key stream (encode = decode).
  void apply(uint8_t* data, size_t length);

 private:
  uint8_t s_[256];
  uint8_t i_ = 0, j_ = 0;
};

// Decodes (or encodes) one page of an encoded database in place.
void applyPageKey(uint32_t dbKey, uint32_t pageNumber, uint8_t* page, size_t pageSize);

}  // namespace jet
