#pragma once

// Reads the rows a copy is about to take, with their memo/OLE pieces, a
// little ahead of it on the other core: the copy then finds their pages
// mapped and in the processor's cache instead of waiting for each. Nothing
// read here is used; damage is left for the copy to name.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

namespace jet {
class Database;
struct TableDef;
}  // namespace jet

namespace jet::compact {

class ReadAhead {
 public:
  // Rows live[order[0]], live[order[1]], ... of def, never more than a few
  // hundred past the one last passed to at(). Does nothing unless the
  // database's pages can be read from two threads.
  ReadAhead(const Database& db, const TableDef& def, const std::vector<uint32_t>& live,
            const std::vector<uint32_t>& order);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  void at(size_t n) { copied_.store(n, std::memory_order_relaxed); }

 private:
  void run(const Database& db, const TableDef& def, const std::vector<uint32_t>& live,
           const std::vector<uint32_t>& order);

  std::atomic<size_t> copied_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace jet::compact
