#include "jet/util/FileSystem.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "jet/Error.h"
#include "jet/util/SignalCleanup.h"

namespace jet {

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

void throwWriteError(int err, const std::string& what, const std::string& path) {
  const std::string detail = " (" + what + " '" + path + "': " + std::strerror(err) + ")";
  if (err == ENOSPC || err == EDQUOT || err == EFBIG)
    throw Error(3026, "Not enough space on disk." + detail);
  if (err == ENOENT || err == ENOTDIR)
    throw Error(3044, "'" + folderOf(path) +
                          "' isn't a valid path. Make sure that the path name is spelled "
                          "correctly and that you are connected to the server on which the file "
                          "resides.");
  throw Error(3043, "Disk or network error." + detail);
}

namespace {

[[noreturn]] void throwNoPermission(const std::string& path) {
  throw Error(3051, "Cannot open the file '" + path +
                        "'. It is already opened exclusively by another user, or you need "
                        "permission to view its data.");
}

// The path names something, but no file can be reached through it.
[[noreturn]] void throwLinkLoop(const std::string& path) {
  throw Error(3051, "Cannot open '" + path + "': it is a loop of symbolic links.");
}

FileState stateOf(const struct stat& st) {
  return FileState{static_cast<uint64_t>(st.st_size),
                   st.st_mtim.tv_sec,
                   st.st_mtim.tv_nsec,
                   static_cast<uint64_t>(st.st_dev),
                   static_cast<uint64_t>(st.st_ino),
                   static_cast<uint32_t>(st.st_mode & 07777)};
}

const char* kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

size_t preadAll(int fd, uint64_t offset, uint8_t* data, size_t size, const std::string& name) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, data + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      throw Error(3043,
                  "Disk or network error. (reading '" + name + "': " + std::strerror(errno) + ")");
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

FileState fstatOf(int fd, const std::string& name) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) throwWriteError(errno, "reading", name);
  return stateOf(st);
}

class PosixReadFile : public ReadFile {
 public:
  PosixReadFile(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  ~PosixReadFile() override { ::close(fd_); }
  size_t readAt(uint64_t offset, uint8_t* data, size_t size) override {
    return preadAll(fd_, offset, data, size, name_);
  }
  FileState state() override { return fstatOf(fd_, name_); }
  const std::string& name() const override { return name_; }
  std::unique_ptr<Mapping> map(uint64_t size) override { return Mapping::map(fd_, size); }

 private:
  int fd_;
  std::string name_;
};

// Unnamed (O_TMPFILE) where the file system allows it, published by linking
// it in; otherwise a named file beside the final path, renamed into place.
class PosixOutputFile : public OutputFile {
 public:
  PosixOutputFile(std::string finalPath, bool unnamed) : final_(std::move(finalPath)) {
    if (!unnamed) {
      createNamed();
      return;
    }
    fd_ = ::open(folderOf(final_).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
    if (fd_ >= 0) return;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
      throwWriteError(errno, "creating a file beside", final_);
    createNamed();
  }
  ~PosixOutputFile() override {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty() && !published_) {
      ::unlink(temporary_.c_str());
      unlistTemporary(temporary_.c_str());
    }
  }

  size_t readAt(uint64_t offset, uint8_t* data, size_t size) override {
    return preadAll(fd_, offset, data, size, final_);
  }
  FileState state() override { return fstatOf(fd_, final_); }
  const std::string& name() const override { return final_; }
  std::unique_ptr<Mapping> map(uint64_t size) override { return Mapping::map(fd_, size); }

  void writeAt(uint64_t offset, const uint8_t* data, size_t size) override {
    while (size > 0) {
      const ssize_t n = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throwWriteError(errno, "writing", where());
      if (n == 0) throwWriteError(ENOSPC, "writing", where());
      data += n;
      size -= static_cast<size_t>(n);
      offset += static_cast<uint64_t>(n);
    }
  }

  void sync() override {
    if (::fsync(fd_) != 0) throwWriteError(errno, "flushing", where());
  }

  void setMode(uint32_t mode) override {
    if (::fchmod(fd_, static_cast<mode_t>(mode & 0777)) != 0)
      throwWriteError(errno, "setting the permissions of", where());
  }

  void publish() override {
    if (temporary_.empty())
      linkIn();
    else
      renameIn();
    published_ = true;
    if (!temporary_.empty()) unlistTemporary(temporary_.c_str());
  }

 private:
  const std::string& where() const { return temporary_.empty() ? final_ : temporary_; }

  void createNamed() {
    for (unsigned attempt = 0;; ++attempt) {
      temporary_ = final_ + ".compact-" + std::to_string(::getpid()) + "-" +
                   std::to_string(attempt) + ".tmp";
      // Listed before it exists, so a signal in between still removes it.
      listTemporary(temporary_.c_str());
      fd_ = ::open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      if (fd_ >= 0) return;
      const int err = errno;
      unlistTemporary(temporary_.c_str());
      if (err != EEXIST || attempt >= 20) {
        const std::string name = temporary_;
        temporary_.clear();
        throwWriteError(err, "creating", name);
      }
    }
  }

  void linkIn() {
    // /proc lets an unprivileged process link an unnamed file; AT_EMPTY_PATH
    // needs a capability, so it is only the second try.
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, final_.c_str(), AT_SYMLINK_FOLLOW) == 0) return;
    int err = errno;
    if (err == ENOENT && ::access(self.c_str(), F_OK) != 0) {
      if (::linkat(fd_, "", AT_FDCWD, final_.c_str(), AT_EMPTY_PATH) == 0) return;
      err = errno;
    }
    if (err == EEXIST) throw Error(3204, "Database already exists.");
    throwWriteError(err, "creating", final_);
  }

  void renameIn() {
    // renameat2 refuses to replace a file that appeared meanwhile; file
    // systems without it fall back to a hard link, then to a checked rename.
    const char* from = temporary_.c_str();
    const char* to = final_.c_str();
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return;
    int err = errno;
    if (err == EINVAL || err == ENOSYS || err == ENOTSUP) {
      if (::link(from, to) == 0) {
        ::unlink(from);
        return;
      }
      err = errno;
      if (err != EEXIST && ::access(to, F_OK) != 0 && ::rename(from, to) == 0) return;
      if (err != EEXIST) err = errno;
    }
    if (err == EEXIST) throw Error(3204, "Database already exists.");
    throwWriteError(err, "renaming to", final_);
  }

  std::string final_;
  std::string temporary_;  // empty when unnamed
  int fd_ = -1;
  bool published_ = false;
};

class PosixFileSystem : public FileSystem {
 public:
  explicit PosixFileSystem(bool unnamedOutputs) : unnamed_(unnamedOutputs) {}

  std::shared_ptr<ReadFile> openRead(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      if (errno == EACCES) throwNoPermission(path);
      if (errno == ELOOP) throwLinkLoop(path);
      throw Error(3024, "Could not find file '" + path + "'.");
    }
    if (!S_ISREG(st.st_mode)) notRegular(path, st.st_mode);
    // O_NONBLOCK: what became a FIFO since the stat must not block us.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      if (errno == ENOENT) throw Error(3024, "Could not find file '" + path + "'.");
      throwNoPermission(path);
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      notRegular(path, st.st_mode);
    }
    return std::make_shared<PosixReadFile>(fd, path);
  }

  std::shared_ptr<OutputFile> createOutput(const std::string& finalPath) override {
    return std::make_shared<PosixOutputFile>(finalPath, unnamed_);
  }

  std::optional<FileState> stat(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return stateOf(st);
    if (errno == ELOOP) throwLinkLoop(path);
    return std::nullopt;
  }

  bool exists(const std::string& path) override {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
  }

  std::string resolve(const std::string& path) override {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
  }

  bool lockHeld(const std::string& path, uint64_t start, uint64_t length) override {
    // O_NONBLOCK: never wait on a FIFO someone named like a lock file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      if (errno == ENOENT || errno == ENOTDIR) return false;
      throw Error(3051, "Cannot open the file '" + path +
                            "'. It is already opened exclusively by another user, or you need "
                            "permission to view its data (" +
                            std::strerror(errno) + ").");
    }
    // An open-file-description query also sees locks this process took
    // through another descriptor; older kernels only have F_GETLK.
    struct flock query {};
    const auto ask = [&](int cmd) {
      query = {};
      query.l_type = F_WRLCK;
      query.l_whence = SEEK_SET;
      query.l_start = static_cast<off_t>(start);
      query.l_len = static_cast<off_t>(length);
      return ::fcntl(fd, cmd, &query);
    };
    int rc = ask(F_OFD_GETLK);
    if (rc != 0 && errno == EINVAL) rc = ask(F_GETLK);
    ::close(fd);
    return rc == 0 && query.l_type != F_UNLCK;
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

 private:
  [[noreturn]] static void notRegular(const std::string& path, mode_t mode) {
    throw Error(3051,
                "Cannot open '" + path + "': it is " + kindOf(mode) + ", not a database file.");
  }

 private:
  bool unnamed_;
};

}  // namespace

FileSystem& defaultFileSystem() {
  static PosixFileSystem fs(true);
  return fs;
}

FileSystem& namedOutputFileSystem() {
  static PosixFileSystem fs(false);
  return fs;
}

}  // namespace jet
