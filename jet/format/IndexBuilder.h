#pragma once

// Bulk-loads an index tree from entries that are already sorted: leaves
// filled up to the page capacity with a shared key prefix, linked left to
// right, then node levels (all children but the last as entries, the last as
// tail) until one page, the root, remains.

#include <cstdint>
#include <memory>
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

namespace detail {
class Packer;
}

// The same tree built as sorted entries arrive, one leaf in memory at a time:
// pages are numbered and written in the order buildIndex gives them.
class IndexWriter {
 public:
  // owner: TDEF page of the table.
  IndexWriter(uint32_t owner, PageAllocator& alloc, PageSink& sink);
  ~IndexWriter();
  // The next entry in entryLess order. Throws Error when it cannot fit a page.
  void add(const EntryRef& e);
  BuiltIndex finish();

  // A finished page as its parent sees it: its number and its last entry.
  struct Child {
    uint32_t page;
    std::vector<uint8_t> last;
  };

 private:
  void startLeaf(const EntryRef& e, uint32_t page);
  void append(const EntryRef& e);
  void writeLeaf(uint32_t next);

  uint32_t owner_;
  PageAllocator& alloc_;
  PageSink& sink_;
  size_t maxPrefix_;
  std::unique_ptr<detail::Packer> packer_;
  uint32_t page_ = 0, previous_ = 0;
  std::vector<uint8_t> first_, bytes_;  // the leaf's first entry; all of its entries
  std::vector<uint32_t> sizes_;
  std::vector<Child> level_;
  BuiltIndex built_;
};

// owner: TDEF page of the table. Throws Error when an entry cannot fit a page.
BuiltIndex buildIndex(const std::vector<EntryRef>& sorted, uint32_t owner, PageAllocator& alloc,
                      PageSink& sink);

// Strict entry order: key bytes (shorter first on a common prefix), then row
// pointer. `keyLength` excludes the 4 pointer bytes.
bool entryLess(const EntryRef& a, const EntryRef& b);

}  // namespace jet
