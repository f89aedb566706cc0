#pragma once

// Index pages (§8 of the format notes): type 0x03 (node) or 0x04 (leaf).
//
//   0   u8 type, u8 0x01, u16 free space, u32 owner (TDEF page)
//   J3: 8 prev, 12 next, 16 tail, 20 u8 prefix length,  22..0xF8  entry-end bitmap
//   J4: 12 prev, 16 next, 20 tail, 24 u16 prefix length, 27..0x1E0 entry-end bitmap
//
// Bit b of the bitmap marks an entry ending b bytes after the first entry's
// position. Every entry but the first omits the page's prefix, the first
// bytes of the first entry. An entry is its key bytes, then the row it names
// (3-byte page BE, row byte) and, on node pages, the child page (u32 BE).
// A node's entry is the bound of its child's subtree; past the last entry
// lies the tail child.

#include <cstdint>
#include <vector>

#include "jet/format/Format.h"
#include "jet/format/PageSource.h"
#include "jet/util/Bytes.h"

namespace jet {

// One entry, prefix restored; the views point into the IndexPage that made it.
struct IndexEntry {
  ByteView key;        // key bytes only
  ByteView keyAndRow;  // key bytes followed by the 4 row-pointer bytes
  RowPtr row;          // the table row's header slot
  uint32_t child = 0;  // node pages: the child page
};

// Entry order: key bytes (a shorter key first on a common prefix), then row.
int compareEntries(ByteView keyA, RowPtr rowA, ByteView keyB, RowPtr rowB);
inline bool entryLess(const IndexEntry& a, const IndexEntry& b) {
  return compareEntries(a.key, a.row, b.key, b.row) < 0;
}

// A decoded index page; decoding again into the same object reuses its storage.
class IndexPage {
 public:
  // Decodes page pg. Throws Corrupt for a page that is no index page, an
  // entry that runs off the page or is too short for its pointers, or a
  // prefix longer than the first entry.
  void read(PageSource& pages, uint32_t pg);

  uint32_t number = 0;
  uint8_t type = 0;
  uint32_t owner = 0, prev = 0, next = 0, tail = 0;
  uint16_t prefixLength = 0;
  uint16_t freeSpace = 0;
  size_t usedBytes = 0;  // end of the last entry from the first entry's position

  bool leaf() const { return type == page_type::kIndexLeaf; }
  size_t size() const { return entries_.size(); }
  const IndexEntry& operator[](size_t i) const { return entries_[i]; }
  const IndexEntry& back() const { return entries_.back(); }

 private:
  std::vector<uint8_t> bytes_;  // every entry in full, one after the other
  std::vector<size_t> ends_;    // where each ends in bytes_
  std::vector<IndexEntry> entries_;
};

// What a walk of an index tree reports; override what you need.
class IndexVisitor {
 public:
  virtual ~IndexVisitor() = default;
  // Each page as it is reached, depth-first, parents before children.
  virtual void onPage(const IndexPage&, int /*depth*/) {}
  // Each leaf entry, in tree order.
  virtual void onEntry(const IndexEntry&) {}
  // After a child's subtree: its node entry (null for the tail child), the
  // node entry before it (null for the first child) and the subtree's first
  // and last leaf entries (null when it has none).
  virtual void onChild(const IndexPage& /*node*/, const IndexEntry* /*bound*/,
                       const IndexEntry* /*previousBound*/, const IndexEntry* /*first*/,
                       const IndexEntry* /*last*/) {}
};

// Walks the tree at root depth-first, children in entry order, then the tail.
// Throws Corrupt for a page reached twice, a tree deeper than any real one, a
// page that is no index page or belongs to another table than owner.
void walkIndex(PageSource& pages, uint32_t root, uint32_t owner, IndexVisitor& visitor);

}  // namespace jet
