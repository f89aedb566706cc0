#pragma once

#include <QString>

// The one file test of the optimize sequence.
namespace fileReady {

// True when the file can be opened for reading at this moment; never an error.
// Folders, FIFOs, devices, dangling links and empty paths give false.
bool FileExists(QString path);

}  // namespace fileReady
