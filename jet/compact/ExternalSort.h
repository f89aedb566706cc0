#pragma once

// Index entries put in order within a memory budget, for an index that has
// to be sorted (one made again from its rows) however large its table: the
// entries gather in memory up to the budget, each full batch goes sorted to
// a temporary file as one run, and the runs are merged on the way out.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "jet/format/IndexBuilder.h"
#include "jet/util/FileSystem.h"

namespace jet::compact {

class ExternalSort {
 public:
  // Makes the file the runs go to, called at the first spill; an unnamed
  // output beside the destination, never published.
  using SpillFile = std::function<std::shared_ptr<OutputFile>()>;

  // budget: bytes of entries held in memory before a run is spilled.
  ExternalSort(size_t budget, SpillFile spill);

  // One entry: key bytes and the 4-byte pointer (entryLess order).
  void add(const uint8_t* data, uint32_t size);

  // Every entry added, in entryLess order; the view lasts until the next
  // call. The sorter is empty afterwards.
  void drain(const std::function<void(const EntryRef&)>& emit);

  size_t spilledRuns() const { return runs_.size(); }

 private:
  struct Run {
    uint64_t from, to;  // bytes of the spill file
  };
  void sortBatch();
  void spill();

  size_t budget_;
  SpillFile makeSpill_;
  std::shared_ptr<OutputFile> file_;
  uint64_t fileEnd_ = 0;
  std::vector<uint8_t> bytes_;
  std::vector<EntryRef> batch_;
  std::vector<size_t> offsets_;  // of batch_ entries in bytes_, as bytes_ may move
  std::vector<Run> runs_;
};

}  // namespace jet::compact
