#include "jet/Engine.h"

namespace jet {

bool CheckReport::clean() const {
  for (const Finding& f : findings)
    if (f.severity != Severity::Info) return false;
  return true;
}

}  // namespace jet
