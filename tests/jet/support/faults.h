#pragma once

// A file system that does what the real one does but fails on purpose where
// it is told to: a write-side operation, a full disk, a read (EIO or short),
// bytes of the output written wrong, or something done just before the
// output is published.

#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "jet/util/FileSystem.h"

namespace jettest {

class FaultyFileSystem : public jet::FileSystem {
 public:
  // The n-th write-side operation (create, write, flush, publish, flush
  // folder; counted from 1) fails with writeErrno; 0: none.
  int failWriteAt = 0;
  int writeErrno = EIO;
  // Writes past this many bytes in all fail as a full disk.
  uint64_t diskBytes = UINT64_MAX;
  // The n-th read of a file opened for reading fails (EIO) or comes back
  // short, as from a file that shrank; 0: none.
  int failReadAt = 0;
  bool shortRead = false;
  // Output bytes written wrong: offset and the bits flipped there.
  std::vector<std::pair<uint64_t, uint8_t>> flips;
  // Runs just before the output is published.
  std::function<void()> beforePublish;

  int writeOperations() const { return writes_; }
  int reads() const { return reads_; }

  std::shared_ptr<jet::ReadFile> openRead(const std::string& path) override;
  std::shared_ptr<jet::OutputFile> createOutput(const std::string& finalPath) override;
  std::optional<jet::FileState> stat(const std::string& path) override;
  bool exists(const std::string& path) override;
  std::string resolve(const std::string& path) override;
  bool lockHeld(const std::string& path, uint64_t start, uint64_t length) override;
  void syncDirectory(const std::string& dir) override;
  void remove(const std::string& path) noexcept override;

  // Called by the files it made.
  void writeStep(const std::string& what, const std::string& path);
  void wrote(uint64_t bytes, const std::string& path);
  // Returns how much of `size` a read may deliver; throws on a failed read.
  size_t readStep(size_t size, const std::string& path);

 private:
  int writes_ = 0, reads_ = 0;
  uint64_t written_ = 0;
};

}  // namespace jettest
