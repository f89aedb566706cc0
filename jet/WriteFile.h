#pragma once

// The few file-system operations a compaction performs on its output, behind
// an interface so tests can make any one of them fail.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace jet {

// A file being written. Every call throws Error on failure (3026 when the
// disk is full, 3043 for any other write error).
class WriteFile {
 public:
  virtual ~WriteFile() = default;
  virtual void writeAt(uint64_t offset, const uint8_t* data, size_t size) = 0;
  virtual void sync() = 0;
  virtual void close() = 0;
};

// Creates, publishes and removes output files.
class WriteFileSystem {
 public:
  virtual ~WriteFileSystem() = default;
  // Creates a file that did not exist (never opens an existing one).
  virtual std::unique_ptr<WriteFile> createNew(const std::string& path) = 0;
  // Moves from to to; fails rather than replace an existing to.
  virtual void publish(const std::string& from, const std::string& to) = 0;
  virtual void syncDirectory(const std::string& dir) = 0;
  // Best effort, never throws: used while cleaning up after a failure.
  virtual void remove(const std::string& path) noexcept = 0;
};

// The real thing: POSIX calls.
WriteFileSystem& posixWriteFileSystem();

// Maps an errno from a write-side call to the engine's error.
[[noreturn]] void throwWriteError(int err, const std::string& what, const std::string& path);

}  // namespace jet
