#include "platform/ProgramPath.h"

#include <QFile>

namespace platform {
namespace {

std::function<QString()>& hook() {
  static std::function<QString()> h;
  return h;
}

}  // namespace

int GetModuleFileName(QString& buffer, int capacity) {
  buffer.clear();
  if (capacity <= 0) return 0;
  const QString path = hook() ? hook()() : QFile::symLinkTarget("/proc/self/exe");
  buffer = path.left(capacity - 1);
  return static_cast<int>(buffer.size());
}

void setProgramPathHook(std::function<QString()> h) { hook() = std::move(h); }

}  // namespace platform
