#include "jet/db/LockFile.h"

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

bool databaseInUse(FileSystem& fs, const std::string& databasePath) {
  const std::string lock = lockFilePath(fs.resolve(databasePath));
  try {
    return fs.lockHeld(lock, 0x10000001, 255);
  } catch (const Error& e) {
    throw Error(e.number(),
                e.description() + " Whether another program has the database open cannot be told.");
  }
}

}  // namespace jet
