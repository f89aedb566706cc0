#pragma once

// Where things sit in Jet 3 and Jet 4 pages. One table per version so the
// readers carry no version branches for plain offsets.

#include <cstdint>

#include "jet/Version.h"

namespace jet {

// A 32-bit row pointer as stored in TDEFs, long values and overflow rows:
// byte 0 is the row number, bytes 1..3 the page number.
struct RowPtr {
  uint32_t page = 0;
  uint8_t row = 0;

  static RowPtr fromRaw(uint32_t raw) { return RowPtr{raw >> 8, static_cast<uint8_t>(raw & 0xFF)}; }
  uint32_t raw() const { return (page << 8) | row; }
  bool null() const { return page == 0 && row == 0; }
  bool operator==(const RowPtr&) const = default;
};

namespace page_type {
constexpr uint8_t kHeader = 0x00;
constexpr uint8_t kData = 0x01;
constexpr uint8_t kTableDef = 0x02;
constexpr uint8_t kIndexNode = 0x03;
constexpr uint8_t kIndexLeaf = 0x04;
constexpr uint8_t kUsageBitmap = 0x05;
}  // namespace page_type

// Row directory flags on data pages.
constexpr uint16_t kRowOffsetMask = 0x1FFF;
constexpr uint16_t kRowDeleted = 0x8000;
constexpr uint16_t kRowLookup = 0x4000;  // the row is a pointer to an overflow row

struct Format {
  Version version;
  bool jet4;
  uint32_t pageSize;
  uint32_t headerMaskLength;  // bytes of page 0 XORed from 0x18
  uint32_t passwordLength;    // bytes of the password field at 0x42
  uint32_t commitSlots;       // offset of the 256 two-byte commit slots in page 0

  // Data pages.
  uint32_t rowCountOffset;  // u16 row count; the directory follows

  // TDEF header (offsets into the logical buffer).
  uint32_t tdefLength;
  uint32_t tdefNumRows;
  uint32_t tdefAutoNumber;
  uint32_t tdefTableType;
  uint32_t tdefMaxCols;
  uint32_t tdefNumVarCols;
  uint32_t tdefNumCols;
  uint32_t tdefNumIdx;
  uint32_t tdefNumRealIdx;
  uint32_t tdefOwnedMap;
  uint32_t tdefFreeMap;
  uint32_t tdefSections;

  uint32_t realIndexCountSize;  // per-tree statistic block
  uint32_t columnSize;          // column descriptor
  uint32_t colType, colNumber, colVarIndex, colFlags, colExtFlags, colFixedOffset, colLength;
  uint32_t colPrecision, colScale;
  uint32_t nameLengthSize;  // 1 (J3) or 2 (J4) bytes before each name
  uint32_t realIndexSize;   // real-index definition
  uint32_t realIdxColumns, realIdxUsageMap, realIdxRoot, realIdxFlags;
  uint32_t logicalIndexSize;
  uint32_t logIdxNumber, logIdxRealIndex, logIdxRelRole, logIdxRelIndex, logIdxRelTable,
      logIdxCascadeUpdates, logIdxCascadeDeletes, logIdxType;

  // Index pages.
  uint32_t idxPrev, idxNext, idxTail, idxPrefix, idxPrefixSize, idxBitmap, idxFirstEntry;
  uint32_t idxCapacity;  // bytes of entries a page may hold

  static const Format& of(Version v);
};

}  // namespace jet
