#include "jet/WriteFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "jet/Error.h"

namespace jet {

void throwWriteError(int err, const std::string& what, const std::string& path) {
  const std::string detail = " (" + what + " '" + path + "': " + std::strerror(err) + ")";
  if (err == ENOSPC || err == EDQUOT || err == EFBIG)
    throw Error(3026, "Not enough space on disk." + detail);
  if (err == ENOENT || err == ENOTDIR) {
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    throw Error(3044, "'" + folder +
                          "' isn't a valid path. Make sure that the path name is spelled "
                          "correctly and that you are connected to the server on which the file "
                          "resides.");
  }
  throw Error(3043, "Disk or network error." + detail);
}

namespace {

class PosixWriteFile : public WriteFile {
 public:
  PosixWriteFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixWriteFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  void writeAt(uint64_t offset, const uint8_t* data, size_t size) override {
    while (size > 0) {
      const ssize_t n = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
      if (n < 0) {
        if (errno == EINTR) continue;
        throwWriteError(errno, "writing", path_);
      }
      if (n == 0) throwWriteError(ENOSPC, "writing", path_);
      data += n;
      size -= static_cast<size_t>(n);
      offset += static_cast<uint64_t>(n);
    }
  }

  void sync() override {
    if (::fsync(fd_) != 0) throwWriteError(errno, "flushing", path_);
  }

  void close() override {
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0) throwWriteError(errno, "closing", path_);
  }

 private:
  int fd_;
  std::string path_;
};

class PosixWriteFileSystem : public WriteFileSystem {
 public:
  std::unique_ptr<WriteFile> createNew(const std::string& path) override {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throwWriteError(errno, "creating", path);
    return std::make_unique<PosixWriteFile>(fd, path);
  }

  void publish(const std::string& from, const std::string& to) override {
    // renameat2 refuses to replace a destination that appeared meanwhile; file
    // systems without it fall back to a hard link, then to a checked rename.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
    int err = errno;
    if (err == EINVAL || err == ENOSYS || err == ENOTSUP) {
      if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return;
      }
      err = errno;
      if (err != EEXIST && ::access(to.c_str(), F_OK) != 0 &&
          ::rename(from.c_str(), to.c_str()) == 0)
        return;
      if (err != EEXIST) err = errno;
    }
    if (err == EEXIST) throw Error(3204, "Database already exists.");
    throwWriteError(err, "renaming to", to);
  }

  void syncDirectory(const std::string& dir) override {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throwWriteError(errno, "opening folder", dir);
    const int rc = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    // Some file systems cannot sync a folder; that is not a failed write.
    if (rc != 0 && err != EINVAL && err != EROFS) throwWriteError(err, "flushing folder", dir);
  }

  void remove(const std::string& path) noexcept override { ::unlink(path.c_str()); }
};

}  // namespace

WriteFileSystem& posixWriteFileSystem() {
  static PosixWriteFileSystem fs;
  return fs;
}

}  // namespace jet
