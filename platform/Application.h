#pragma once

#include <functional>

namespace platform {

// The program's version numbers, as the build sets them.
int AppMajor();
int AppMinor();
int AppRevision();

// Ends the program at once: no question, no unload handling. The caller's
// handler still returns normally; the event loops then stop. Tests replace it.
void End();
void setEndHook(std::function<void()> hook);

}  // namespace platform
