#pragma once

// Compaction's outer shell, for jet::compactDatabase and for tests that hand
// it a file system that fails on purpose.

#include <string>

#include "jet/Engine.h"
#include "jet/util/FileSystem.h"

namespace jet::compact {

CompactResult compactWith(FileSystem& fs, const std::string& src, const std::string& dst,
                          const Credentials& credentials, const CompactOptions& options,
                          const Progress& progress);

}  // namespace jet::compact
