#pragma once

// A file's bytes mapped read-only, for readers that only look at them: no
// copy into a buffer and no system call per read. Were another program to
// cut the file short while it is mapped, the next touch of a lost page would
// kill the process with SIGBUS; a handler maps zeros there instead and marks
// the mapping cut, so the reader can report the file as changed.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace jet {

class Mapping {
 public:
  // The first `size` bytes of the open file fd, or null where they cannot be
  // mapped (the caller reads them instead).
  static std::unique_ptr<Mapping> map(int fd, uint64_t size);
  ~Mapping();
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;

  const uint8_t* data() const { return data_; }
  uint64_t size() const { return size_; }
  // True once a touch found the file shorter than when it was mapped: the
  // bytes from there on read as zeros.
  bool cut() const { return cut_.load(std::memory_order_relaxed); }
  // Lets go of the pages touched so far; they stay in the page cache, and a
  // pointer into the mapping still reads the same bytes. A long read thus
  // does not pile up what it has looked at in the process's memory.
  void forget();
  // Notes a read at offset, within one 4 KB page, and forgets once more than
  // kHeldBudget could be held. A touch can map a whole 2 MB span at once (a
  // large folio of the page cache, or the kernel's fault-around), so what is
  // held is bounded by the spans touched, not by the pages.
  void touch(uint64_t offset) {
    const uint64_t span = (reinterpret_cast<uintptr_t>(data_) + offset) / kSpan - firstSpan_;
    std::atomic<uint64_t>& word = spans_[span / 64];
    const uint64_t bit = uint64_t{1} << (span % 64);
    if (word.load(std::memory_order_relaxed) & bit) return;
    if (word.fetch_or(bit, std::memory_order_relaxed) & bit) return;
    if (spansHeld_.fetch_add(1, std::memory_order_relaxed) + 1 >= kHeldBudget / kSpan)
      forgetSpans();
  }
  static constexpr uint64_t kHeldBudget = uint64_t{16} << 20;

 private:
  static constexpr uint64_t kSpan = uint64_t{2} << 20;
  Mapping(const uint8_t* data, uint64_t size, size_t slot);
  void forgetSpans();
  const uint8_t* data_;
  uint64_t size_;
  size_t slot_;
  std::atomic<bool> cut_{false};
  uint64_t firstSpan_;
  std::unique_ptr<std::atomic<uint64_t>[]> spans_;  // a bit per span touched
  size_t spanWords_;
  std::atomic<uint64_t> spansHeld_{0};
  friend struct MappingRegistry;
};

}  // namespace jet
