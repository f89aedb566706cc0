#pragma once

// Page 0: signature, version, the header mask and the fields behind it.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "jet/format/Format.h"
#include "jet/util/Bytes.h"

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
};

// Parses page 0. Throws Error 3343 for a foreign or unsupported format and
// 3049 for a damaged header: one whose password field decodes to nothing a
// writer stores is damaged too. `name` is the path shown in messages.
Header parseHeader(ByteView fileStart, const std::string& name);

// Throws Error 3049, DAO's "cannot open ... may be corrupt" for `name`.
[[noreturn]] void throwCannotOpen(const std::string& name);

// Page 0 of a compacted copy: the source's, with the commit slots as a freshly
// created file has them (slot 0 = 01 01, the others 00 01). Their meaning is
// not established, so they are never read as a sign of anything.
std::vector<uint8_t> cleanHeaderPage(const Header& source);

// What a header made afresh holds, where the file's own is lost.
struct FreshHeader {
  Version version = Version::Jet4;
  uint16_t codePage = 1252;
  uint16_t sortOrder = 0x0409;  // General
  uint8_t sortVersion = 0;      // Jet 4
  std::string password;         // UTF-8; "" for none
  double creationDate = 0;      // Jet 4
};
// Page 0 as Jet writes one for these fields (the constants every file shows,
// no database key, clean commit slots).
std::vector<uint8_t> freshHeaderPage(const FreshHeader& h);

// Encoded databases: every page but page 0 is XORed with the RC4 stream of
// the key dbKey ^ page number. Encoding and decoding are the same.
void codePage(uint32_t dbKey, uint32_t pageNumber, uint8_t* page, size_t pageSize);

}  // namespace jet
