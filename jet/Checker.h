#pragma once

// The integrity check: walks every structure of an open database and reports
// findings instead of stopping at the first problem.

#include "jet/Engine.h"

namespace jet {

class Database;

// Checks `db` and appends findings to `report`.
void checkDatabase(const Database& db, CheckReport& report);

}  // namespace jet
