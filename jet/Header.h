#pragma once

// Page 0: signature, version, the header mask and the fields behind it.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "jet/Bytes.h"
#include "jet/Format.h"

namespace jet {

struct Header {
  Version version = Version::Jet4;
  uint32_t pageSize = 0;
  uint16_t codePage = 0;
  uint16_t sortOrder = 0;         // LCID: 0x3A (Jet 3) or 0x6E (Jet 4)
  uint8_t sortVersion = 0;        // Jet 4 only, 0x71
  uint32_t dbKey = 0;             // non-zero: every page but 0 is RC4-encoded
  double creationDate = 0;        // Jet 4 only (OLE date)
  std::vector<uint8_t> raw;       // page 0 as stored
  std::vector<uint8_t> unmasked;  // page 0 with the header mask removed
  // The password field with every mask removed (Jet 4: still UCS-2LE).
  std::vector<uint8_t> password;

  const Format& format() const { return Format::of(version); }
  bool hasPassword() const;
  // Commit slot n (0..255) as stored: two bytes at format().commitSlots + 2n.
  uint16_t commitSlot(int n) const;
  // True when a slot's state byte is not the idle value 0x01: the file was
  // not closed cleanly (or a user is writing right now).
  bool dirty() const;
};

// Parses page 0. Throws Error 3343 for a foreign or unsupported format and
// 3049 for a damaged header. `name` is the path shown in messages.
Header parseHeader(ByteView fileStart, const std::string& name);

// Throws Error 3049, DAO's "cannot open ... may be corrupt" for `name`.
[[noreturn]] void throwCannotOpen(const std::string& name);

// The header mask: RC4 key stream of C7 DA 39 6B, applied from 0x18.
void applyHeaderMask(uint8_t* page0, uint32_t length);

}  // namespace jet
