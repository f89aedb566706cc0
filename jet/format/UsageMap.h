#pragma once

// Usage maps: which pages a table, an index or a memo/OLE column owns, and
// (page 1, row 0) which pages are free. A map is a row:
//
//   inline (kind 0):     u8 0 | u32 first page | bitmap, bit i = page first+i
//   reference (kind 1):  u8 1 | u32 bitmap page[]; bitmap page j covers
//                        pages j*(PS-4)*8 ..., its bits from byte 4
//
// A reference map may hold pointers that are no page of the file; the other
// readers skip them, and so does this one.

#include <cstdint>
#include <vector>

#include "jet/format/Format.h"
#include "jet/format/PageSource.h"
#include "jet/util/Bytes.h"

namespace jet {

struct UsageMap {
  enum class Kind { Inline, Reference } kind = Kind::Inline;
  std::vector<uint32_t> pages;        // pages whose bit is set, ascending, below the file's end
  uint32_t startPage = 0;             // inline maps
  uint32_t capacityEnd = 0;           // first page number an inline map cannot address
  std::vector<uint32_t> bitmapPages;  // reference maps: the type-5 pages read
  uint32_t skippedPointers = 0;       // reference maps: pointers past the end of the file
};

// Decodes the map row at `where` (a RowPtr from a TDEF, or page 1 row 0).
// Throws Corrupt for an unknown kind or a bitmap pointer to a page of the
// file that is no bitmap page.
UsageMap readUsageMap(PageSource& pages, RowPtr where);

// The global map (page 1, row 0): bit set = page free.
inline UsageMap readGlobalMap(PageSource& pages) { return readUsageMap(pages, RowPtr{1, 0}); }

}  // namespace jet
