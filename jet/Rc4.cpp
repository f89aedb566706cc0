#include "jet/Rc4.h"

#include <utility>

namespace jet {

Rc4::Rc4(const uint8_t* key, size_t keyLength) {
  for (int k = 0; k < 256; ++k) s_[k] = static_cast<uint8_t>(k);
  uint8_t j = 0;
  for (int k = 0; k < 256; ++k) {
    j = static_cast<uint8_t>(j + s_[k] + key[k % keyLength]);
    std::swap(s_[k], s_[j]);
  }
}

void Rc4::apply(uint8_t* data, size_t length) {
  for (size_t n = 0; n < length; ++n) {
    i_ = static_cast<uint8_t>(i_ + 1);
    j_ = static_cast<uint8_t>(j_ + s_[i_]);
    std::swap(s_[i_], s_[j_]);
    data[n] ^= s_[static_cast<uint8_t>(s_[i_] + s_[j_])];
  }
}

void applyPageKey(uint32_t dbKey, uint32_t pageNumber, uint8_t* page, size_t pageSize) {
  const uint32_t k = dbKey ^ pageNumber;
  const uint8_t key[4] = {static_cast<uint8_t>(k), static_cast<uint8_t>(k >> 8),
                          static_cast<uint8_t>(k >> 16), static_cast<uint8_t>(k >> 24)};
  Rc4 rc4(key, 4);
  rc4.apply(page, pageSize);
}

}  // namespace jet
