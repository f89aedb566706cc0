#pragma once

// Index trees: pages decoded into whole entries (prefix compression undone),
// and a walk over the leaves from the leftmost one along the next links.

#include <cstdint>
#include <vector>

#include "jet/Bytes.h"
#include "jet/Format.h"
#include "jet/TableDef.h"

namespace jet {

class Database;

struct IndexEntry {
  std::vector<uint8_t> key;  // key bytes only (flag bytes and values)
  uint32_t page = 0;         // table row the entry points at (header slot)
  uint8_t row = 0;
  uint32_t child = 0;  // node pages: child page; 0 on leaves
};

struct IndexPage {
  uint8_t type = 0;  // page_type::kIndexNode or kIndexLeaf
  uint32_t owner = 0;
  uint32_t prev = 0, next = 0, tail = 0;
  uint16_t prefixLength = 0;
  uint16_t freeSpace = 0;
  std::vector<IndexEntry> entries;
  size_t usedBytes = 0;  // end of the last entry from the first-entry position

  bool leaf() const { return type == page_type::kIndexLeaf; }
};

// Decodes index page `pg`. Throws Corrupt on a wrong type, an entry that
// runs off the page, or a prefix longer than the first entry.
IndexPage readIndexPage(const Database& db, uint32_t pg);
// The same into `out`, reusing its entries' storage (scans decode many pages).
void readIndexPage(const Database& db, uint32_t pg, IndexPage& out);
// Validates page `pg` as readIndexPage does (same Corrupt on the same damage)
// but decodes only its last entry into `last`; false when it has none.
bool readLastIndexEntry(const Database& db, uint32_t pg, IndexEntry& last);

// Walks the leaves of one index tree from the leftmost leaf; guarded against
// loops in child and next links.
class IndexLeafScan {
 public:
  IndexLeafScan(const Database& db, const RealIndex& index);
  // The next entry; false at the end. Throws Corrupt.
  bool next(IndexEntry& entry);
  // Leaf pages visited so far.
  const std::vector<uint32_t>& leaves() const { return leaves_; }

 private:
  void openLeaf(uint32_t pg);

  const Database* db_;
  IndexPage current_;
  size_t pos_ = 0;
  std::vector<uint32_t> leaves_;
  std::vector<uint8_t> seen_;  // per page: visited as a leaf
};

// All leaf entries of an index in order.
std::vector<IndexEntry> readIndexEntries(const Database& db, const RealIndex& index);

}  // namespace jet
