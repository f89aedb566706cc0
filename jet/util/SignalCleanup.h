#pragma once

// Named temporary files that a signal must not leave behind. File systems
// without unnamed temporary files (O_TMPFILE) get a named one; it is listed
// here while it exists, so the handlers of installSignalCleanup() can remove
// it before the process ends.

namespace jet {

// Lists path; false when the list is full (the file then has no cleanup).
bool listTemporary(const char* path) noexcept;
void unlistTemporary(const char* path) noexcept;

// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove the listed
// files and then end the process as the signal would have. Once per process.
void installSignalCleanup();

}  // namespace jet
