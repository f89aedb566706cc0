#pragma once

#include <QString>
#include <functional>

namespace platform {

// The running program's full path, cut to capacity - 1 characters. Returns the
// number of characters written into buffer, 0 on failure. Tests replace the
// path with a hook (an empty hook restores the real one).
int GetModuleFileName(QString& buffer, int capacity);
void setProgramPathHook(std::function<QString()> hook);

}  // namespace platform
