#pragma once

// RC4 as Jet uses it: the page-0 header mask and the per-page encoding of
// encoded databases. Encoding and decoding are the same XOR.

#include <cstddef>
#include <cstdint>

namespace jet::compact {

// XORs data with the RC4 key stream of a 4-byte key (given as LE32).
void rc4Xor(uint32_t key, uint8_t* data, size_t size);

// Applies (or removes) the fixed mask over page 0 from 0x18.
void maskHeader(uint8_t* page0, bool jet4);

// Encodes (or decodes) a whole non-zero page of an encoded database.
inline void codePage(uint32_t dbKey, uint32_t pageNo, uint8_t* page, size_t size) {
  if (dbKey != 0 && pageNo != 0) rc4Xor(dbKey ^ pageNo, page, size);
}

}  // namespace jet::compact
