#include "jet/util/Rc4.h"

#include "jet/util/Bytes.h"

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

void Rc4::apply(uint32_t key, uint8_t* data, size_t length) {
  uint8_t k[4];
  putLe32(k, key);
  Rc4 rc4(k, 4);
  rc4.apply(data, length);
}

}  // namespace jet
