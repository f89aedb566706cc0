// Compaction's outer shell: refuses what DAO refuses, writes into a temporary
// file beside the destination, verifies it, flushes it and only then moves it
// to the destination. Every failure removes the temporary file.
#include "jet/Compact.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "jet/Error.h"

namespace jet {
namespace compact {

[[noreturn]] void throwCancelled() { throw Error(3059, "Operation canceled by user."); }

std::string temporaryName(const std::string& dst, unsigned attempt) {
  return dst + ".compact-" + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp";
}

namespace {

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

struct Snapshot {
  off_t size = 0;
  struct timespec mtime {};
  bool operator==(const Snapshot& o) const {
    return size == o.size && mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
  }
};

Snapshot snapshotOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    throw Error(3024, "Could not find file '" + path + "'.");
  return Snapshot{st.st_size, st.st_mtim};
}

// Reads the whole source read-only (interim: the page writer replaces this).
std::vector<uint8_t> readAll(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) throw Error(3024, "Could not find file '" + path + "'.");
    throw Error(3051, "Cannot open the file '" + path +
                          "'. It is already opened exclusively by another user, or you need "
                          "permission to view its data.");
  }
  std::vector<uint8_t> bytes;
  uint8_t buf[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      throw Error(3049, "Cannot open database '" + path +
                            "'. It may not be a database that "
                            "your application recognizes, or the file may be corrupt.");
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), buf, buf + n);
  }
  ::close(fd);
  return bytes;
}

// Creates the temporary output beside dst; another process's leftover of the
// same name is never opened.
std::unique_ptr<WriteFile> createTemporary(WriteFileSystem& fs, const std::string& dst,
                                           std::string& tmp) {
  for (unsigned attempt = 0;; ++attempt) {
    tmp = temporaryName(dst, attempt);
    try {
      return fs.createNew(tmp);
    } catch (const Error&) {
      if (attempt >= 20 || ::access(tmp.c_str(), F_OK) != 0) throw;
    }
  }
}

}  // namespace

CompactResult compactWith(const std::string& src, const std::string& dst,
                          const std::string& /*srcConnect*/, const CompactOptions& /*options*/,
                          const Progress& progress, WriteFileSystem& fs) {
  const Snapshot before = snapshotOf(src);
  if (::access(dst.c_str(), F_OK) == 0) throw Error(3204, "Database already exists.");
  const std::vector<uint8_t> bytes = readAll(src);

  std::string tmp;
  std::unique_ptr<WriteFile> out = createTemporary(fs, dst, tmp);
  try {
    const size_t chunk = 1 << 20;
    for (size_t at = 0; at < bytes.size(); at += chunk) {
      const size_t n = std::min(chunk, bytes.size() - at);
      out->writeAt(at, bytes.data() + at, n);
      if (progress && !progress(0.9 * static_cast<double>(at + n) / bytes.size())) throwCancelled();
    }
    out->sync();
    out->close();
    out.reset();
    if (readAll(tmp) != bytes)
      throw Error(3049, "The compacted copy of '" + src + "' did not read back as written.");
    if (!(snapshotOf(src) == before))
      throw Error(3045, "Could not use '" + src + "'; file already in use.");
    if (progress && !progress(1.0)) throwCancelled();
    fs.publish(tmp, dst);
  } catch (...) {
    out.reset();
    fs.remove(tmp);
    throw;
  }
  try {
    fs.syncDirectory(folderOf(dst));
  } catch (...) {
    fs.remove(dst);
    throw;
  }
  CompactResult r;
  r.sourceBytes = r.outputBytes = bytes.size();
  return r;
}

}  // namespace compact

CompactResult compactDatabase(const std::string& src, const std::string& dst,
                              const std::string& srcConnect, const CompactOptions& options,
                              const Progress& progress) {
  return compact::compactWith(src, dst, srcConnect, options, progress, posixWriteFileSystem());
}

}  // namespace jet
