#include "modules/fileReady.h"

#include "platform/FileSystem.h"

namespace fileReady {

bool FileExists(QString path) { return platform::CanOpenForReading(path); }

}  // namespace fileReady
