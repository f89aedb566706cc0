#include "jet/format/Header.h"

#include <algorithm>
#include <cstring>

#include "jet/util/Rc4.h"
#include "jet/util/Text.h"

namespace jet {
namespace {

constexpr uint8_t kMaskKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
constexpr char kJetName[16] = {'S', 't', 'a', 'n', 'd', 'a', 'r', 'd',
                               ' ', 'J', 'e', 't', ' ', 'D', 'B', '\0'};
constexpr char kAceName[16] = {'S', 't', 'a', 'n', 'd', 'a', 'r', 'd',
                               ' ', 'A', 'C', 'E', ' ', 'D', 'B', '\0'};
// Unmasked 0x18..0x2F: the same in every Jet 3 and Jet 4 file seen. A header
// whose mask or content was damaged no longer shows it.
constexpr uint8_t kMaskedConstant[24] = {0, 1, 0, 0, 1, 1, 0, 0, 2, 0, 0, 0,
                                         3, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0};

[[noreturn]] void unrecognized(const std::string& name) {
  throw Error(3343, "Unrecognized database format '" + name + "'.");
}

// Writers store the password's characters (none below U+0020), then zeros to
// the field's end. Anything else is no password: the field was decoded with
// the wrong key, as when the version byte or the Jet 4 creation date (which
// the field is XORed with) was changed.
bool passwordFieldAsWritten(const std::vector<uint8_t>& field, size_t unit) {
  size_t n = 0;
  for (; n + unit <= field.size(); n += unit) {
    const unsigned c = field[n] | (unit == 2 ? field[n + 1] << 8 : 0u);
    if (c == 0) break;
    if (c < 0x20) return false;
  }
  for (; n < field.size(); ++n)
    if (field[n] != 0) return false;
  return true;
}

void applyHeaderMask(uint8_t* page0, uint32_t length) {
  Rc4 rc4(kMaskKey, 4);
  rc4.apply(page0 + 0x18, length);
}

}  // namespace

[[noreturn]] void throwCannotOpen(const std::string& name) {
  throw Error(3049, "Cannot open database '" + name +
                        "'. It may not be a database that your application recognizes, or the "
                        "file may be corrupt.");
}

void codePage(uint32_t dbKey, uint32_t pageNumber, uint8_t* page, size_t pageSize) {
  if (dbKey != 0 && pageNumber != 0) Rc4::apply(dbKey ^ pageNumber, page, pageSize);
}

std::vector<uint8_t> cleanHeaderPage(const Header& source) {
  std::vector<uint8_t> page0 = source.raw;
  const uint32_t slots = source.format().commitSlots;
  for (int slot = 0; slot < 256; ++slot) {
    page0[slots + 2 * slot] = slot == 0 ? 0x01 : 0x00;
    page0[slots + 2 * slot + 1] = 0x01;
  }
  return page0;
}

bool Header::hasPassword() const {
  for (uint8_t b : password)
    if (b != 0) return true;
  return false;
}

Header parseHeader(ByteView file, const std::string& name) {
  if (file.size() < 0x18) {
    if (file.size() >= 4 && file.u32(0) == 0x100) throwCannotOpen(name);
    unrecognized(name);
  }
  const bool jetName = std::memcmp(file.data() + 4, kJetName, 16) == 0;
  const bool aceName = std::memcmp(file.data() + 4, kAceName, 16) == 0;
  if (file.u32(0) != 0x100 || !(jetName || aceName)) unrecognized(name);
  const uint8_t versionByte = file.u8(0x14);
  if (aceName || versionByte > 1) unrecognized(name);

  Header h;
  h.version = versionByte == 0 ? Version::Jet3 : Version::Jet4;
  const Format& f = Format::of(h.version);
  h.pageSize = f.pageSize;
  if (file.size() < f.pageSize) throwCannotOpen(name);
  h.raw.assign(file.data(), file.data() + f.pageSize);
  h.unmasked = h.raw;
  applyHeaderMask(h.unmasked.data(), f.headerMaskLength);
  if (std::memcmp(h.unmasked.data() + 0x18, kMaskedConstant, sizeof kMaskedConstant) != 0)
    throwCannotOpen(name);

  const uint8_t* u = h.unmasked.data();
  h.codePage = le16(u + 0x3C);
  h.dbKey = le32(u + 0x3E);
  h.password.assign(u + 0x42, u + 0x42 + f.passwordLength);
  if (f.jet4) {
    h.sortOrder = le16(u + 0x6E);
    h.sortVersion = u[0x71];
    uint64_t bits = le64(u + 0x72);
    std::memcpy(&h.creationDate, &bits, 8);
    // The Jet 4 password field is also XORed with the creation date's integer part.
    int32_t day = 0;
    if (h.creationDate > -2147483648.0 && h.creationDate < 2147483647.0)
      day = static_cast<int32_t>(h.creationDate);
    uint8_t mask[4];
    putLe32(mask, static_cast<uint32_t>(day));
    for (size_t i = 0; i < h.password.size(); ++i) h.password[i] ^= mask[i % 4];
  } else {
    h.sortOrder = le16(u + 0x3A);
  }
  if (!passwordFieldAsWritten(h.password, f.jet4 ? 2 : 1))
    throw Error(3049, "Cannot open database '" + name +
                          "': its header is damaged (its password field does not decode; the "
                          "version byte or the creation date may have been changed).");
  return h;
}

std::vector<uint8_t> freshHeaderPage(const FreshHeader& h) {
  const bool jet4 = h.version == Version::Jet4;
  const Format& f = Format::of(h.version);
  std::vector<uint8_t> p(f.pageSize, 0);
  putLe32(p.data(), 0x100);
  std::memcpy(p.data() + 4, kJetName, 16);
  p[0x14] = jet4 ? 1 : 0;
  std::memcpy(p.data() + 0x18, kMaskedConstant, sizeof kMaskedConstant);
  putLe16(p.data() + 0x3C, h.codePage);
  std::string pw = storedText(h.version, h.password);
  pw.resize(std::min<size_t>(pw.size(), jet4 ? 40 : 20));
  std::memcpy(p.data() + 0x42, pw.data(), pw.size());
  if (jet4) {
    putLe16(p.data() + 0x6E, h.sortOrder);
    p[0x71] = h.sortVersion;
    std::memcpy(p.data() + 0x72, &h.creationDate, 8);
    // The password field is XORed with the creation date's whole days.
    const auto days = static_cast<uint32_t>(static_cast<int32_t>(h.creationDate));
    for (size_t i = 0; i < 40; ++i) p[0x42 + i] ^= static_cast<uint8_t>(days >> (8 * (i % 4)));
    putLe32(p.data() + 0x98, 0x654);
    std::memcpy(p.data() + 0x9C, "4.0", 4);
  } else {
    putLe16(p.data() + 0x38, 1);
    putLe16(p.data() + 0x3A, h.sortOrder);
    putLe16(p.data() + 0x56, 0x251E);
  }
  applyHeaderMask(p.data(), jet4 ? 128 : 126);
  Header parsed;
  parsed.version = h.version;
  parsed.raw = std::move(p);
  return cleanHeaderPage(parsed);
}

}  // namespace jet
