#pragma once

// The integrity check: walks every structure of an open database and reports
// findings instead of stopping at the first problem.

#include <string>

#include "jet/Engine.h"

namespace jet {

class Database;

// Checks `db` and appends findings to `report`.
void checkDatabase(const Database& db, CheckReport& report);

// check() for a file only this process writes (a compaction's output): it is
// mapped rather than read whole, so memory stays small (Database::openPrivate).
CheckReport checkPrivateFile(const std::string& path, const Credentials& credentials);

}  // namespace jet
