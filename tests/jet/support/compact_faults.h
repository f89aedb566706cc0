#pragma once

// A WriteFileSystem that fails on purpose: the n-th operation, or every write
// past a byte budget (a full disk). Everything else goes to the real files.

#include <cstdint>
#include <string>

#include "jet/WriteFile.h"

namespace jet::testing {

class FaultyFileSystem : public WriteFileSystem {
 public:
  // failAt: 1-based number of the operation that fails (0 = none); err: its errno.
  FaultyFileSystem(int failAt, int err) : failAt_(failAt), err_(err) {}
  // Fails writes once more than `bytes` were written in all.
  static FaultyFileSystem diskOf(uint64_t bytes);

  std::unique_ptr<WriteFile> createNew(const std::string& path) override;
  void publish(const std::string& from, const std::string& to) override;
  void syncDirectory(const std::string& dir) override;
  void remove(const std::string& path) noexcept override;

  int operations() const { return ops_; }
  // Called by the files it made.
  void step(const std::string& what, const std::string& path);
  void wrote(uint64_t bytes, const std::string& path);

 private:
  int failAt_;
  int err_;
  int ops_ = 0;
  uint64_t budget_ = UINT64_MAX;
  uint64_t written_ = 0;
};

}  // namespace jet::testing
