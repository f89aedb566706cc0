#pragma once

// Bounds-checked access to bytes owned elsewhere, and the one home of every
// byte encoding: little-endian everywhere but index entries, which are
// big-endian. Every read of a file goes through ByteView, so a damaged length
// or offset becomes a Corrupt exception instead of a read past a buffer.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "jet/Error.h"

namespace jet {

// The file contradicts the format. Carries DAO's "may be corrupt" number;
// the description says what was wrong, callers add where.
class Corrupt : public Error {
 public:
  explicit Corrupt(std::string what) : Error(3049, std::move(what)) {}
};

[[noreturn]] void throwCorrupt(const std::string& what);

inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t le64(const uint8_t* p) {
  return static_cast<uint64_t>(le32(p)) | (static_cast<uint64_t>(le32(p + 4)) << 32);
}
inline void putLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void putLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t be24(const uint8_t* p) {
  return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
}
inline uint32_t be32(const uint8_t* p) { return (uint32_t{p[0]} << 24) | be24(p + 1); }
inline void putBe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// A read-only window [data, data+size). Reads outside it throw Corrupt.
class ByteView {
 public:
  ByteView() = default;
  ByteView(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit ByteView(const std::vector<uint8_t>& v) : data_(v.data()), size_(v.size()) {}

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const uint8_t* begin() const { return data_; }
  const uint8_t* end() const { return data_ + size_; }

  bool contains(size_t offset, size_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  uint8_t u8(size_t offset) const {
    check(offset, 1);
    return data_[offset];
  }
  uint16_t u16(size_t offset) const {
    check(offset, 2);
    return le16(data_ + offset);
  }
  uint32_t u32(size_t offset) const {
    check(offset, 4);
    return le32(data_ + offset);
  }
  uint64_t u64(size_t offset) const {
    check(offset, 8);
    return le64(data_ + offset);
  }
  ByteView sub(size_t offset, size_t length) const {
    check(offset, length);
    return ByteView(data_ + offset, length);
  }
  ByteView from(size_t offset) const {
    check(offset, 0);
    return ByteView(data_ + offset, size_ - offset);
  }
  std::vector<uint8_t> copy() const { return std::vector<uint8_t>(data_, data_ + size_); }
  bool operator==(const ByteView& o) const {
    return size_ == o.size_ && (size_ == 0 || std::memcmp(data_, o.data_, size_) == 0);
  }

 private:
  void check(size_t offset, size_t length) const {
    if (!contains(offset, length)) outOfRange(offset, length);
  }
  [[noreturn]] void outOfRange(size_t offset, size_t length) const;

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace jet
