#pragma once

// The ".ldb" lock file beside a database: a Jet program that has the file
// open holds a byte-range lock at 0x10000000 + n (n = 1..255) on it.

#include <string>

#include "jet/util/FileSystem.h"

namespace jet {

// "dir/Name.mdb" -> "dir/Name.ldb" (the extension replaced, or appended).
std::string lockFilePath(const std::string& databasePath);

// True when another process holds a user lock on the lock file beside the
// database (beside the real file when the path is a symbolic link: Jet puts
// the lock beside the file it opens). A missing lock file, or one nobody
// locks (stale), means not in use. Throws Error 3051 when the lock file
// exists but cannot be read: whether the database is in use is then unknown,
// and never taken as "no".
bool databaseInUse(FileSystem& fs, const std::string& databasePath);

}  // namespace jet
