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
  // forget() when the process holds more than `budget` bytes of files' pages.
  void forgetBeyond(uint64_t budget);

 private:
  Mapping(const uint8_t* data, uint64_t size, size_t slot)
      : data_(data), size_(size), slot_(slot) {}
  const uint8_t* data_;
  uint64_t size_;
  size_t slot_;
  std::atomic<bool> cut_{false};
  friend struct MappingRegistry;
};

}  // namespace jet
