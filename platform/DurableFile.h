#pragma once

// Copies and replacements of whole files that never lose data: a new file is
// created exclusively, written, flushed to disk and compared with its source
// before it counts; a replacement goes through a temporary file and a rename,
// so the target path always holds a complete file, the old one or the new one.
//
// POSIX only. Errors are returned as values; nothing here throws.

#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace platform {

// The step of a durable operation, for error reports and for injected faults.
enum class FileStep {
  None,
  OpenSource,
  Create,     // the new file or the temporary file
  Read,       // reading the source
  Write,      // one chunk into the new file
  Metadata,   // permission bits, owner, times
  Sync,       // fsync of the new file
  Verify,     // comparing the new file with the source
  Rename,     // the temporary file over the target
  SyncFolder  // fsync of the folder after the new name appeared
};

// Outcome of a durable operation. errnum is the errno of the failing call, or
// 0 when the failure was not a system call's (a verification mismatch).
struct FileResult {
  FileStep failedStep = FileStep::None;
  int errnum = 0;
  std::string message;  // "write /data/x.mdb: No space left on device"
  std::string reason;   // the part after the path: "No space left on device"

  bool ok() const { return failedStep == FileStep::None; }
  // The name was taken by someone else between the test and the create.
  bool alreadyExists() const { return failedStep == FileStep::Create && errnum == EEXIST; }
};

// What stat reports about a regular file, as far as copies care.
struct FileFacts {
  uint64_t size = 0;
  int64_t mtimeNs = 0;  // nanoseconds since the epoch
  mode_t mode = 0;      // permission bits only (07777)
  uid_t uid = 0;
  gid_t gid = 0;
};

// True only when nothing at all exists at path: no file, folder, device or
// link (dangling links included). Any doubt (a folder we may not search)
// counts as taken.
bool pathIsFree(const std::string& path);

// Facts about the file at path (links followed), or nothing when it cannot be stat'ed.
std::optional<FileFacts> fileFacts(const std::string& path);

// Feeds every byte of the regular file at path to sink, in order. False when
// it is no regular file or cannot be read to its end. Never blocks on a FIFO.
bool readWholeFile(const std::string& path,
                   const std::function<void(const char* data, size_t size)>& sink);

// True when both files can be read completely and hold the same bytes.
bool sameContents(const std::string& a, const std::string& b);

// Creates dst exclusively (it must not exist) as a copy of src with src's
// permission bits and times, flushed to disk and checked byte for byte.
// On failure nothing is left at dst, except when dst already existed, which
// is then left untouched.
FileResult copyToNewFile(const std::string& src, const std::string& dst);

// Replaces target by a copy of src atomically: a temporary file in target's
// folder receives src's bytes, target's permission bits and (where allowed)
// owner, is flushed and checked, then renamed over target; the folder is
// flushed last. On failure before the rename the temporary file is removed
// and target is untouched. src itself is never changed. A target that is a
// symbolic link stays one: the file it leads to is replaced, in its own folder.
//
// mayReplace, when given, is asked once more right before the rename, after
// the slow copy: false calls the replacement off (failedStep Rename, errnum
// ECANCELED) with target untouched.
FileResult replaceFile(const std::string& src, const std::string& target,
                       const std::function<bool()>& mayReplace = {});

// Test hook: called before each step with the path it acts on and, for
// Write, the offset of the chunk. Returning a nonzero errno makes that step
// fail as if the system call had failed with it. An empty hook removes it.
using FileFaultHook = std::function<int(FileStep step, const std::string& path, uint64_t offset)>;
void setFileFaultHook(FileFaultHook hook);

}  // namespace platform
