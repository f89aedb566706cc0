#pragma once

// Internal entry points of compaction, for tests and tools: the same work as
// jet::compactDatabase with a replaceable output file system.

#include <string>

#include "jet/Engine.h"
#include "jet/WriteFile.h"

namespace jet::compact {

CompactResult compactWith(const std::string& src, const std::string& dst,
                          const Credentials& credentials, const CompactOptions& options,
                          const Progress& progress, WriteFileSystem& fs);

// The name of the temporary file compaction writes beside dst (attempt n).
std::string temporaryName(const std::string& dst, unsigned attempt);

// Thrown when the Progress callback asks to stop.
[[noreturn]] void throwCancelled();

}  // namespace jet::compact
