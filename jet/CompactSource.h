#pragma once

// The source of a compaction, read page by page with pread (never the whole
// file in memory), and the few structures compaction takes apart: TDEFs,
// usage maps, rows, long values and index leaves. Every read is bounded, so a
// damaged file ends in Corrupt, never in a crash or a hang.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jet/Bytes.h"
#include "jet/Format.h"
#include "jet/TableDef.h"

namespace jet::compact {

class SourceFile {
 public:
  // Opens read-only and checks the header and the password. Throws Error 3024, 3051, 3343, 3049 or 3031.
  SourceFile(const std::string& path, const Credentials& credentials);
  ~SourceFile();
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;

  const std::string& path() const { return path_; }
  const Format& format() const { return *format_; }
  bool jet4() const { return format_->jet4; }
  uint32_t pageSize() const { return format_->pageSize; }
  uint32_t pageCount() const { return pageCount_; }
  uint64_t fileSize() const { return fileSize_; }
  uint32_t dbKey() const { return dbKey_; }
  const std::vector<uint8_t>& page0() const { return page0_; }  // as stored (masked)

  // Page pg decoded. The view is valid until the next call of page().
  // Throws Corrupt for a page past the end of the file.
  ByteView page(uint32_t pg);

 private:
  static constexpr uint32_t kReadAhead = 32;  // pages per read on a streak; under the slots
  // Reads pages first..first+n-1 into their slots; throws when not even the first arrives.
  void fill(uint32_t first, uint32_t n);

  struct Slot {
    uint32_t pg = UINT32_MAX;
    std::vector<uint8_t> bytes;
  };
  std::string path_;
  int fd_ = -1;
  const Format* format_ = nullptr;
  uint64_t fileSize_ = 0;
  uint32_t pageCount_ = 0;
  uint32_t dbKey_ = 0;
  std::vector<uint8_t> page0_;
  std::vector<Slot> cache_;
  uint32_t lastMiss_ = UINT32_MAX - 1;
};

// A table definition with its raw TDEF pages, so it can be patched and
// written back at the same layout.
struct SourceTable {
  TableDef def;
  std::vector<std::vector<uint8_t>> rawPages;  // decoded TDEF pages, chain order
};

// Reads and parses the TDEF chain at firstPage. Throws Corrupt.
SourceTable readTable(SourceFile& src, uint32_t firstPage);

// Pages listed in the usage map at where (RowPtr), below limit. Throws Corrupt.
std::vector<uint32_t> readMapPages(SourceFile& src, RowPtr where, uint32_t limit);

// A row slot of a data page. Throws Corrupt when the slot is out of bounds.
struct Slot {
  uint16_t flags = 0;
  std::vector<uint8_t> bytes;
};
uint16_t slotCount(SourceFile& src, uint32_t pg);  // 0 when pg is not a data page
Slot readSlot(SourceFile& src, RowPtr ptr);
// The row behind a live header slot, overflow pointers followed (bounded).
std::vector<uint8_t> readRow(SourceFile& src, RowPtr header);
// The same into out, reusing its storage.
void readRow(SourceFile& src, RowPtr header, std::vector<uint8_t>& out);

// Where a column's bytes lie in a row.
struct FieldSpan {
  bool null = true;
  size_t begin = 0, end = 0;
};
// Throws Corrupt when the row trailer contradicts itself.
FieldSpan fieldOf(const TableDef& def, bool jet4, ByteView row, const Column& col);

// A long value's data, chunk by chunk as stored (the last one cut to the
// length). kind: 0x80 inline, 0x40 single row, 0x00 chain. Throws Corrupt.
struct LongValue {
  uint8_t kind = 0x80;
  uint32_t length = 0;
  std::vector<std::vector<uint8_t>> chunks;
};
LongValue readLongValue(SourceFile& src, ByteView header);

// An index entry as found on a leaf: key bytes and the row it points at.
struct LeafEntry {
  std::vector<uint8_t> key;
  RowPtr row;
};
// Calls f(entry) for every leaf entry of the tree at root, left to right;
// the key's 4 row-pointer bytes follow it in memory.
// Guards against loops and over-deep trees. Throws Corrupt.
void forEachLeafEntry(
    SourceFile& src, uint32_t root, uint32_t owner,
    const std::function<void(const uint8_t* key, size_t keyLength, RowPtr row)>& f);

// UTF-8 of a text value as stored (Jet 3 code page bytes taken as Latin-1,
// Jet 4 UCS-2LE, compressed or not).
std::string textOf(bool jet4, ByteView bytes);

// Fast non-cryptographic hash for comparing source and output.
uint64_t hashBytes(const uint8_t* data, size_t size, uint64_t seed = 0);
inline uint64_t mix(uint64_t a, uint64_t b) {
  uint64_t x = a ^ (b + 0x9e3779b97f4a7c15ull + (a << 6) + (a >> 2));
  x ^= x >> 31;
  x *= 0xbf58476d1ce4e5b9ull;
  x ^= x >> 29;
  return x;
}

}  // namespace jet::compact
