#include "jet/Engine.h"

#include "jet/LockFile.h"

namespace jet {

bool CheckReport::clean() const {
  for (const Finding& f : findings)
    if (f.severity != Severity::Info) return false;
  return true;
}

bool isInUse(const std::string& path) { return lockHeld(lockFilePath(path)); }

}  // namespace jet
