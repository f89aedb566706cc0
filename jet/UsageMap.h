#pragma once

// Usage maps: which pages a table, index or long-value column owns, and
// (page 1) which pages are free. Stored as a row: inline bitmap or a list of
// bitmap pages.

#include <cstdint>
#include <vector>

#include "jet/Bytes.h"
#include "jet/Format.h"

namespace jet {

class Database;

struct UsageMap {
  enum class Kind { Inline, Reference } kind = Kind::Inline;
  std::vector<uint32_t> pages;        // pages whose bit is set, ascending
  uint32_t startPage = 0;             // inline maps
  uint32_t capacityEnd = 0;           // first page number the map cannot address (inline)
  std::vector<uint32_t> bitmapPages;  // reference maps: the type-5 pages used
};

// Decodes a map row. Pages beyond `limit` (exclusive) are left out, so a
// damaged map cannot produce billions of entries. Throws Corrupt.
UsageMap decodeUsageMap(const Database& db, ByteView row, uint32_t limit);

// Decodes the map at `where` (a RowPtr from a TDEF), limited to the file's pages.
UsageMap readUsageMap(const Database& db, RowPtr where);

// The global map (page 1, row 0): bit set = page free.
UsageMap readGlobalMap(const Database& db);

}  // namespace jet
