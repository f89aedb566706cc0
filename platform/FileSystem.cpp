#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QDir>

#include "jet/Engine.h"

namespace platform {
namespace {

QByteArray native(const QString& path) { return path.toLocal8Bit(); }

// Owns one file descriptor and closes it, unless released.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    int f = fd_;
    fd_ = -1;
    return f;
  }

 private:
  int fd_;
};

}  // namespace

FileError FileErrorFromErrno(int err, const QString& path) {
  const QString why = QString::fromLocal8Bit(std::strerror(err));
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return {53, "File not found: " + path};
    case EACCES:
    case EPERM:
    case EROFS:
      return {70, "Permission denied: " + path + " (" + why + ")"};
    case ENOSPC:
    case EDQUOT:
      return {61, "Disk full: " + path};
    case EEXIST:
      return {58, "File already exists: " + path};
    default:
      return {75, "Path/File access error: " + path + " (" + why + ")"};
  }
}

bool CanOpenForReading(const QString& path) {
  if (path.isEmpty()) return false;
  const QByteArray p = native(path);
  if (p.contains('\0')) return false;
  struct stat st {};
  // Refuse anything but a regular file before opening: opening a device can
  // have effects of its own, and reading a FIFO would wait for a writer.
  if (::stat(p.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  Fd fd(::open(p.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  // The name may have been swapped between stat and open.
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return ::close(fd.release()) == 0;
}

std::optional<FileError> DeleteFile(const QString& path) {
  const QByteArray p = native(path);
  struct stat st {};
  if (::lstat(p.constData(), &st) == 0 && S_ISDIR(st.st_mode))
    return FileErrorFromErrno(EISDIR, path);
  if (::unlink(p.constData()) != 0) return FileErrorFromErrno(errno, path);
  return std::nullopt;
}

QStringList FileNames(const QString& folder) {
  return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

bool DatabaseInUse(const QString& path) { return jet::isInUse(native(path).toStdString()); }

}  // namespace platform
