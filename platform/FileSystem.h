#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace platform {

// A failed file operation: a number and a sentence, as the program reports them
// (53 file not found, 70 permission denied, 75 path/file access error, 61 disk full).
struct FileError {
  int number = 0;
  QString description;
};

// True when path names a regular file that can be opened for reading now.
// Never blocks (FIFOs and devices are refused before they are read) and never throws.
bool CanOpenForReading(const QString& path);

// Removes a file. Nothing returned means done.
std::optional<FileError> DeleteFile(const QString& path);

// True when another program holds the Jet lock of the database at path (the
// lock beside the file a symbolic link leads to). Throws jet::Error 3051 when
// the lock file is there but cannot be read: in use or not is then unknown.
bool DatabaseInUse(const QString& path);

// The names of the regular files in folder; empty when it cannot be read.
QStringList FileNames(const QString& folder);

// Translates an errno value into the program's numbering.
FileError FileErrorFromErrno(int err, const QString& path);

}  // namespace platform
