#pragma once

// Bulk-loads an index tree from entries that are already sorted: leaves
// filled up to the page capacity with a shared key prefix, linked left to
// right, then node levels (all children but the last as entries, the last as
// tail) until one page, the root, remains.

#include <cstdint>
#include <vector>

#include "jet/format/PageWriter.h"

namespace jet {

// One leaf entry: key bytes followed by the 4-byte row pointer (3-byte page
// BE, row byte).
struct EntryRef {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
};

struct BuiltIndex {
  uint32_t root = 0;
  std::vector<uint32_t> pages;  // every page of the tree
};

// owner: TDEF page of the table. Throws Error when an entry cannot fit a page.
BuiltIndex buildIndex(const std::vector<EntryRef>& sorted, uint32_t owner, PageAllocator& alloc,
                      PageSink& sink);

// Strict entry order: key bytes (shorter first on a common prefix), then row
// pointer. `keyLength` excludes the 4 pointer bytes.
bool entryLess(const EntryRef& a, const EntryRef& b);

}  // namespace jet
