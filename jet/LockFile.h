#pragma once

// The ".ldb" lock file beside a database: a Jet program that has the file
// open holds a byte-range lock at 0x10000000 + n (n = 1..255) on it.

#include <string>

namespace jet {

// "dir/Name.mdb" -> "dir/Name.ldb" (the extension replaced, or appended).
std::string lockFilePath(const std::string& databasePath);

// True when another process holds a user lock on the lock file. A missing
// lock file or one nobody locks (stale) means not in use.
bool lockHeld(const std::string& lockPath);

}  // namespace jet
