#pragma once

// A file read with a run of bytes put over it, or after its end: salvage's
// stand-ins for lost structures (a header, a catalog page) without a byte
// of the file itself being written.

#include <cstdint>
#include <memory>
#include <vector>

#include "jet/util/FileSystem.h"

namespace jet {

// source read with bytes at offset in place of its own; where they run past
// its end, the file is that much longer.
std::shared_ptr<ReadFile> overlaid(std::shared_ptr<ReadFile> source, uint64_t offset,
                                   std::vector<uint8_t> bytes);

}  // namespace jet
