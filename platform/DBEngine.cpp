#include "platform/DBEngine.h"

namespace platform {
namespace {

CompactHook& hook() {
  static CompactHook h;
  return h;
}

}  // namespace

void setCompactHook(CompactHook h) { hook() = std::move(h); }

void DBEngine::CompactDatabase(const QString& SrcName, const QString& DstName,
                               const std::optional<QString>& DstConnect,
                               const std::optional<int>& Options,
                               const std::optional<QString>& SrcConnect) {
  if ((DstConnect && !DstConnect->isEmpty()) || (Options && *Options != 0))
    throw jet::Error(3001, "Invalid argument.");
  const std::string src = SrcName.toStdString();
  const std::string dst = DstName.toStdString();
  const std::string connect = SrcConnect.value_or(QString()).toStdString();
  if (hook()) {
    hook()(src, dst, connect, progress_);
    return;
  }
  jet::compactDatabase(src, dst, connect, jet::CompactOptions{}, progress_);
}

}  // namespace platform
