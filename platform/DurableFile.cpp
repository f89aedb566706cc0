#include "platform/DurableFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace platform {
namespace {

constexpr size_t kChunk = 256 * 1024;

FileFaultHook& faultHook() {
  static FileFaultHook hook;
  return hook;
}

int injected(FileStep step, const std::string& path, uint64_t offset = 0) {
  const FileFaultHook& hook = faultHook();
  return hook ? hook(step, path, offset) : 0;
}

const char* verb(FileStep step) {
  switch (step) {
    case FileStep::None:
      return "";
    case FileStep::OpenSource:
      return "open";
    case FileStep::Create:
      return "create";
    case FileStep::Read:
      return "read";
    case FileStep::Write:
      return "write";
    case FileStep::Metadata:
      return "set attributes of";
    case FileStep::Sync:
      return "flush";
    case FileStep::Verify:
      return "verify";
    case FileStep::Rename:
      return "rename";
    case FileStep::SyncFolder:
      return "flush the folder of";
  }
  return "";
}

FileResult failure(FileStep step, int errnum, const std::string& path, const char* why = nullptr) {
  FileResult r;
  r.failedStep = step;
  r.errnum = errnum;
  r.reason = why ? why : errnum ? std::strerror(errnum) : "unknown error";
  r.message = std::string(verb(step)) + " " + path + ": " + r.reason;
  return r;
}

// Owns one file descriptor.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now and reports close's errno (0 when fine): on some file systems
  // a failed delayed write shows up only here.
  int close() {
    if (fd_ < 0) return 0;
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 ? 0 : errno;
  }
  void reset() { close(); }

 private:
  int fd_;
};

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Flushes the folder holding path, so that a name created, removed or
// renamed in it survives a crash. Returns errno or 0.
int syncFolderOf(const std::string& path) {
  if (int e = injected(FileStep::SyncFolder, path)) return e;
  Fd dir(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid()) return errno;
  if (::fsync(dir.get()) != 0) return errno;
  return dir.close();
}

// Reads until n bytes or the end of the file. Returns the count, or -1 with errno set.
ssize_t readFull(int fd, char* buf, size_t n) {
  size_t got = 0;
  while (got < n) {
    ssize_t r = ::read(fd, buf + got, n - got);
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  return static_cast<ssize_t>(got);
}

int writeFull(int fd, const char* buf, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, buf, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    buf += w;
    n -= static_cast<size_t>(w);
  }
  return 0;
}

// Opens an existing regular file for reading without blocking on a FIFO or
// device. On failure returns an invalid Fd and sets *err.
Fd openRegular(const std::string& path, struct stat* st, int* err) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) {
    *err = errno;
    return Fd();
  }
  if (::fstat(fd.get(), st) != 0) {
    *err = errno;
    return Fd();
  }
  if (!S_ISREG(st->st_mode)) {
    *err = EINVAL;
    return Fd();
  }
  // Regular file reads never block; clear the flag so reads behave plainly.
  ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  return fd;
}

// Copies all of in (from its start) to out.
FileResult copyBytes(int in, const std::string& src, int out, const std::string& dst) {
  std::vector<char> buf(kChunk);
  if (::lseek(in, 0, SEEK_SET) < 0) return failure(FileStep::Read, errno, src);
  uint64_t offset = 0;
  for (;;) {
    ssize_t n = readFull(in, buf.data(), buf.size());
    if (n < 0) return failure(FileStep::Read, errno, src);
    if (n == 0) return {};
    if (int e = injected(FileStep::Write, dst, offset)) return failure(FileStep::Write, e, dst);
    if (int e = writeFull(out, buf.data(), static_cast<size_t>(n)))
      return failure(FileStep::Write, e, dst);
    offset += static_cast<uint64_t>(n);
  }
}

// Compares two open files from their starts. Returns errno, or 0 when both
// read completely and are equal, or -1 when they differ.
int compareFds(int a, int b) {
  struct stat sa, sb;
  if (::fstat(a, &sa) != 0 || ::fstat(b, &sb) != 0) return errno;
  if (sa.st_size != sb.st_size) return -1;
  if (::lseek(a, 0, SEEK_SET) < 0 || ::lseek(b, 0, SEEK_SET) < 0) return errno;
  std::vector<char> ba(kChunk), bb(kChunk);
  for (;;) {
    ssize_t na = readFull(a, ba.data(), ba.size());
    ssize_t nb = readFull(b, bb.data(), bb.size());
    if (na < 0 || nb < 0) return errno;
    if (na != nb || std::memcmp(ba.data(), bb.data(), static_cast<size_t>(na)) != 0) return -1;
    if (na == 0) return 0;
  }
}

FileResult verify(int in, const std::string& src, int out, const std::string& dst) {
  if (int e = injected(FileStep::Verify, dst)) return failure(FileStep::Verify, e, dst);
  int rc = compareFds(in, out);
  if (rc == -1) return failure(FileStep::Verify, 0, dst, ("differs from " + src).c_str());
  if (rc != 0) return failure(FileStep::Verify, rc, dst);
  return {};
}

FileResult syncFile(int fd, const std::string& path) {
  if (int e = injected(FileStep::Sync, path)) return failure(FileStep::Sync, e, path);
  if (::fsync(fd) != 0) return failure(FileStep::Sync, errno, path);
  return {};
}

// Gives the new file the owner the old one had, as far as this process may:
// first owner and group, then the group alone; a refusal is no failure.
void carryOwner(int fd, uid_t uid, gid_t gid) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || (st.st_uid == uid && st.st_gid == gid)) return;
  if (::fchown(fd, uid, gid) == 0) return;
  if (st.st_gid != gid) (void)::fchown(fd, static_cast<uid_t>(-1), gid);
}

// Opens the file to copy from. On failure returns an invalid Fd and sets *r.
Fd openSource(const std::string& src, struct stat* st, FileResult* r) {
  if (int e = injected(FileStep::OpenSource, src)) {
    *r = failure(FileStep::OpenSource, e, src);
    return Fd();
  }
  int err = 0;
  Fd in = openRegular(src, st, &err);
  if (!in.valid())
    *r = failure(FileStep::OpenSource, err, src, err == EINVAL ? "not a regular file" : nullptr);
  return in;
}

// Fills the freshly created file out (named dst) with in's bytes, lets
// setAttributes give it its mode and the like (returning errno or 0), flushes
// it, checks it against in and closes it. The caller removes dst on failure.
FileResult fillNewFile(int in, const std::string& src, Fd& out, const std::string& dst,
                       const std::function<int(int fd)>& setAttributes) {
  FileResult r = copyBytes(in, src, out.get(), dst);
  if (!r.ok()) return r;
  if (int e = injected(FileStep::Metadata, dst)) return failure(FileStep::Metadata, e, dst);
  if (int e = setAttributes(out.get())) return failure(FileStep::Metadata, e, dst);
  r = syncFile(out.get(), dst);
  if (!r.ok()) return r;
  r = verify(in, src, out.get(), dst);
  if (!r.ok()) return r;
  if (int e = out.close()) return failure(FileStep::Sync, e, dst);
  return {};
}

// The file that replacing path must replace: path itself, or the file a
// symbolic link at path leads to, so that the link is kept. False (errno set)
// for a link that leads nowhere.
bool replacementTarget(const std::string& path, std::string* real) {
  struct stat st;
  *real = path;
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return false;
  *real = resolved;
  std::free(resolved);
  return true;
}

}  // namespace

bool pathIsFree(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

std::optional<FileFacts> fileFacts(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  FileFacts f;
  f.size = static_cast<uint64_t>(st.st_size);
  f.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  f.mode = st.st_mode & 07777;
  f.uid = st.st_uid;
  f.gid = st.st_gid;
  return f;
}

bool readWholeFile(const std::string& path,
                   const std::function<void(const char* data, size_t size)>& sink) {
  struct stat st;
  int err = 0;
  Fd fd = openRegular(path, &st, &err);
  if (!fd.valid()) return false;
  std::vector<char> buf(kChunk);
  for (;;) {
    ssize_t n = readFull(fd.get(), buf.data(), buf.size());
    if (n < 0) return false;
    if (n == 0) return true;
    sink(buf.data(), static_cast<size_t>(n));
  }
}

bool sameContents(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  int err = 0;
  Fd fa = openRegular(a, &sa, &err);
  Fd fb = openRegular(b, &sb, &err);
  if (!fa.valid() || !fb.valid()) return false;
  return compareFds(fa.get(), fb.get()) == 0;
}

FileResult copyToNewFile(const std::string& src, const std::string& dst) {
  struct stat st;
  FileResult r;
  Fd in = openSource(src, &st, &r);
  if (!in.valid()) return r;

  if (int e = injected(FileStep::Create, dst)) return failure(FileStep::Create, e, dst);
  // Exclusive: an existing name, even a dangling link, is never written through.
  Fd out(::open(dst.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!out.valid()) return failure(FileStep::Create, errno, dst);

  // From here on the file is ours, so a failure removes it.
  auto fail = [&](FileResult result) {
    out.reset();
    ::unlink(dst.c_str());
    (void)syncFolderOf(dst);
    return result;
  };

  r = fillNewFile(in.get(), src, out, dst, [&](int fd) {
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::fchmod(fd, st.st_mode & 07777) != 0 || ::futimens(fd, times) != 0) return errno;
    return 0;
  });
  if (!r.ok()) return fail(r);
  if (int e = syncFolderOf(dst)) return fail(failure(FileStep::SyncFolder, e, dst));
  return {};
}

FileResult replaceFile(const std::string& src, const std::string& path,
                       const std::function<bool()>& mayReplace) {
  struct stat st;
  FileResult r;
  Fd in = openSource(src, &st, &r);
  if (!in.valid()) return r;
  std::string target;
  if (!replacementTarget(path, &target)) return failure(FileStep::Create, errno, path);

  // The new file takes the old one's mode and owner; with no old one, the source's.
  struct stat old;
  if (::stat(target.c_str(), &old) != 0) old = st;

  // Beside the target, so the rename stays within one file system.
  std::string tmp = target + ".XXXXXX.tmp";
  if (int e = injected(FileStep::Create, tmp)) return failure(FileStep::Create, e, tmp);
  Fd out(::mkostemps(tmp.data(), 4, O_CLOEXEC));
  if (!out.valid()) return failure(FileStep::Create, errno, tmp);

  auto fail = [&](FileResult result) {
    out.reset();
    ::unlink(tmp.c_str());
    (void)syncFolderOf(tmp);
    return result;
  };

  r = fillNewFile(in.get(), src, out, tmp, [&](int fd) {
    carryOwner(fd, old.st_uid, old.st_gid);
    // After the owner: changing the owner may clear set-id bits.
    return ::fchmod(fd, old.st_mode & 07777) == 0 ? 0 : errno;
  });
  if (!r.ok()) return fail(r);

  if (mayReplace && !mayReplace())
    return fail(failure(FileStep::Rename, ECANCELED, target, "replacement called off"));
  if (int e = injected(FileStep::Rename, target)) return fail(failure(FileStep::Rename, e, target));
  if (::rename(tmp.c_str(), target.c_str()) != 0)
    return fail(failure(FileStep::Rename, errno, target));

  // The new file is in place; only its name may not yet be on disk.
  if (int e = syncFolderOf(target)) return failure(FileStep::SyncFolder, e, target);
  return {};
}

void setFileFaultHook(FileFaultHook hook) { faultHook() = std::move(hook); }

}  // namespace platform
