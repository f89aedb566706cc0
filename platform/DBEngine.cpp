#include "platform/DBEngine.h"

namespace platform {

void DBEngine::CompactDatabase(const QString& SrcName, const QString& DstName,
                               const std::optional<QString>& DstConnect,
                               const std::optional<int>& Options,
                               const std::optional<QString>& SrcConnect) {
  if ((DstConnect && !DstConnect->isEmpty()) || (Options && *Options != 0))
    throw jet::Error(3001, "Invalid argument.");
  jet::compactDatabase(SrcName.toStdString(), DstName.toStdString(),
                       SrcConnect.value_or(QString()).toStdString(), jet::CompactOptions{},
                       progress_);
}

}  // namespace platform
