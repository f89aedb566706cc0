#pragma once

// Every file the engine reads or writes goes through a FileSystem, so a test
// can make any read or write fail (a short read, EIO, a full disk, a file
// that changes while it is read). Failures are thrown as jet::Error with
// DAO's numbers: 3024 no such file, 3051 no permission, 3026 disk full,
// 3043 any other input/output error.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "jet/util/Mapping.h"

namespace jet {

// What tells one state of a file from another.
struct FileState {
  uint64_t size = 0;
  int64_t mtimeSeconds = 0, mtimeNanoseconds = 0;
  uint64_t device = 0, inode = 0;
  uint32_t mode = 0;  // permission bits
  bool operator==(const FileState&) const = default;
};

// A file open for reading. readAt may be called from several threads at once.
class ReadFile {
 public:
  virtual ~ReadFile() = default;
  // Reads up to `size` bytes at `offset` and returns how many it read: fewer
  // only where the file ends. Throws Error 3043 on a read error.
  virtual size_t readAt(uint64_t offset, uint8_t* data, size_t size) = 0;
  // The open file as it is now.
  virtual FileState state() = 0;
  // The path shown in messages.
  virtual const std::string& name() const = 0;
  // The file's first `size` bytes mapped for reading, or null where it is
  // not a plain file on disk: the reader then reads.
  virtual std::unique_ptr<Mapping> map(uint64_t /*size*/) { return nullptr; }
};

// A new file in the folder of its final path, not visible under that path
// until published; reads see what was written. Destroyed unpublished, it
// leaves nothing behind (unnamed where the file system allows it, so not
// even a crash can leave it).
class OutputFile : public ReadFile {
 public:
  virtual void writeAt(uint64_t offset, const uint8_t* data, size_t size) = 0;
  // Flushes what was written to the disk.
  virtual void sync() = 0;
  // Gives the file these permission bits (a copy of a private file stays
  // private whatever the umask).
  virtual void setMode(uint32_t /*mode*/) {}
  // Makes the file appear at its final path. Throws Error 3204 when anything
  // is there already: an existing file is never replaced.
  virtual void publish() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens a regular file. Throws Error 3024 when nothing is there or it is
  // not a regular file (a folder, a FIFO or a device is never opened, so
  // nothing blocks), 3051 when it cannot be opened (a loop of symbolic links
  // too).
  virtual std::shared_ptr<ReadFile> openRead(const std::string& path) = 0;
  // Throws what writing throws (3026, 3043, 3044 for a missing folder).
  virtual std::shared_ptr<OutputFile> createOutput(const std::string& finalPath) = 0;
  // The state of what path names (links followed), nullopt when nothing.
  // Throws Error 3051 for a loop of symbolic links: something is there.
  virtual std::optional<FileState> stat(const std::string& path) = 0;
  // True when anything is at path, a broken link included.
  virtual bool exists(const std::string& path) = 0;
  // path with symbolic links followed; path itself when it cannot be resolved.
  virtual std::string resolve(const std::string& path) = 0;
  // True when another process holds a lock on some byte of [start, start+length)
  // of the file at path; false when there is no such file. Throws Error 3051
  // when the file exists but cannot be opened: the answer is then unknown.
  virtual bool lockHeld(const std::string& path, uint64_t start, uint64_t length) = 0;
  virtual void syncDirectory(const std::string& dir) = 0;
  // Best effort, never throws: used while cleaning up after a failure.
  virtual void remove(const std::string& path) noexcept = 0;
};

// The real file system.
FileSystem& defaultFileSystem();
// The same, with outputs always under a temporary name, as on file systems
// that cannot make unnamed files.
FileSystem& namedOutputFileSystem();

// The folder part of a path: "." when it has none, "/" for the root.
std::string folderOf(const std::string& path);

// Maps an errno from a write-side call to the engine's error.
[[noreturn]] void throwWriteError(int err, const std::string& what, const std::string& path);

}  // namespace jet
