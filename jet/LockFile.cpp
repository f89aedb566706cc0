#include "jet/LockFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "jet/Error.h"

namespace jet {

std::string lockFilePath(const std::string& databasePath) {
  const size_t slash = databasePath.find_last_of('/');
  const size_t dot = databasePath.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
      dot + 1 < databasePath.size())
    return databasePath.substr(0, dot) + ".ldb";
  return databasePath + ".ldb";
}

std::string lockFileOf(const std::string& databasePath) {
  char resolved[PATH_MAX];
  if (::realpath(databasePath.c_str(), resolved) != nullptr) return lockFilePath(resolved);
  return lockFilePath(databasePath);
}

bool lockHeld(const std::string& lockPath) {
  // O_NONBLOCK: never wait on a FIFO someone named like a lock file.
  const int fd = ::open(lockPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return false;
    throw Error(3051, "Cannot open the file '" + lockPath +
                          "'. It is already opened exclusively by another user, or you need "
                          "permission to view its data (" +
                          std::strerror(errno) +
                          "), so whether another program has the database open cannot be told.");
  }
  // The user locks: one byte each at 0x10000001..0x100000FF. An open-file-
  // description query also sees locks this process took through another fd.
  struct flock query {};
  query.l_type = F_WRLCK;
  query.l_whence = SEEK_SET;
  query.l_start = 0x10000001;
  query.l_len = 255;
  query.l_pid = 0;
  int rc = ::fcntl(fd, F_OFD_GETLK, &query);
  if (rc != 0 && errno == EINVAL) {
    query = {};
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
    query.l_start = 0x10000001;
    query.l_len = 255;
    rc = ::fcntl(fd, F_GETLK, &query);
  }
  ::close(fd);
  return rc == 0 && query.l_type != F_UNLCK;
}

}  // namespace jet
