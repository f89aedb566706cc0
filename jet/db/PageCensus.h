#pragma once

// Every page of the file read once for what it says of itself: its type and,
// for table data, the table it names as owner; with the global map's free
// pages beside it. A table's usage map or its catalog row can be damaged
// while its data pages still name it: this is the evidence that they do.

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

namespace jet {

class Database;

class PageCensus {
 public:
  PageCensus() = default;
  // tick() is called for every page read. A damaged global map counts no
  // page free: then every page is evidence.
  static PageCensus take(const Database& db, const std::function<void()>& tick = {});

  bool free(uint32_t pg) const { return pg < free_.size() && free_[pg]; }
  // The table a data page names as owner (its TDEF page), 0 for any other
  // page, free ones included.
  uint32_t dataOwner(uint32_t pg) const { return pg < owner_.size() ? owner_[pg] : 0; }
  // Data pages, not free, that name tdef as owner, ascending.
  const std::vector<uint32_t>& dataPagesOf(uint32_t tdef) const;
  // Pages, not free, that begin a table definition: TDEF pages no other
  // TDEF page continues into. Ascending.
  const std::vector<uint32_t>& tableDefinitions() const { return firstTdefs_; }
  bool globalMapRead() const { return globalMapRead_; }
  // A data page added to the file after the census (salvage's new catalog
  // page): after every other page of its owner.
  void addDataPage(uint32_t pg, uint32_t owner);
  uint32_t pageCount() const { return static_cast<uint32_t>(owner_.size()); }

 private:
  std::vector<bool> free_;
  std::vector<uint32_t> owner_;
  std::unordered_map<uint32_t, std::vector<uint32_t>> byOwner_;
  std::vector<uint32_t> firstTdefs_;
  bool globalMapRead_ = false;
};

// Live (not deleted) slots in a data page's row directory; 0 for a page
// whose directory cannot be read.
uint32_t liveSlots(const Database& db, uint32_t pg);

// A table definition no catalog row reaches whose data pages still hold rows.
struct OrphanTable {
  uint32_t tdef = 0;
  std::vector<uint32_t> pages;  // its data pages that hold rows, with
  std::vector<uint32_t> rows;   // the live slots of each
  uint64_t total() const;
};

// reached: the TDEF pages the catalog names as tables. all: those without
// rows too (a healthy file can hold a leaked definition, so alone it is no
// evidence of a table).
std::vector<OrphanTable> orphanTables(const Database& db, const PageCensus& census,
                                      const std::vector<uint32_t>& reached, bool all = false);

}  // namespace jet
