#pragma once

// The integrity check: walks every structure of an open database and reports
// what it finds instead of stopping at the first problem. A finding is an
// error only where a reader or a writer of the file would go wrong; what is
// merely stale (counts, bounds, free-space lists) is information. Every
// finding ends with advice that works: compaction mends what it names,
// damage it refuses that salvage gets past is sent to salvage, and what
// neither brings back to a backup.

#include <atomic>

#include "jet/Engine.h"

namespace jet {

class Database;

// How far a check goes. Deep compares every index with keys made from its
// rows; DeepSystem only the system tables' (a compaction that rewrote their
// keys has it so, having proved the rest before writing them).
enum class Depth { Shallow, DeepSystem, Deep };

// Checks `db` and appends findings to `report`. When `stop` turns true the
// check ends soon with Error 3059.
void checkDatabase(const Database& db, CheckReport& report, const std::atomic<bool>* stop = nullptr,
                   Depth depth = Depth::Shallow);

}  // namespace jet
