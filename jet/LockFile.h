#pragma once

// The ".ldb" lock file beside a database: a Jet program that has the file
// open holds a byte-range lock at 0x10000000 + n (n = 1..255) on it.

#include <string>

namespace jet {

// "dir/Name.mdb" -> "dir/Name.ldb" (the extension replaced, or appended).
std::string lockFilePath(const std::string& databasePath);

// True when another process holds a user lock on the lock file. A missing
// lock file or one nobody locks (stale) means not in use. A lock file that
// exists but cannot be opened (another user's, mode 0600) throws Error 3051:
// whether the database is in use is then unknown, and never taken as "no".
bool lockHeld(const std::string& lockPath);

// The lock file of the database `path` names, a symbolic link followed to
// the real file first: Jet puts the lock beside the file it opens.
std::string lockFileOf(const std::string& databasePath);

}  // namespace jet
