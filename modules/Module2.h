#pragma once

#include <QString>

#include "platform/Int16.h"

class frmMain;

// The optimize sequence's state and the start-up folder.
namespace Module2 {

// 0 no run yet; 1 compaction and progress; 2 leading to the backup question;
// 3 leading to the replace question. Kept after a run ends.
extern platform::Int16 iStage;
// Timer ticks counted in stages 2 and 3.
extern platform::Int16 iTicks;
// False from the start of a run until the compaction has returned.
extern bool bCompacted;

// The settings file LoadDbPath reads: the program's path with its extension
// replaced by ".ini" (or ".ini" appended) when that file can be read, else
// "Ledgerwick.ini", which the profile reader looks for in the config folder.
QString SettingsFileName();

// The folder part of a "dbPath" value, keeping its trailing separator; a
// doubled separator before the last part counts once. Empty when there is none.
QString FolderOfDbPath(const QString& value);

// Reads "dbPath" of section "Config" from the settings file and puts its folder
// into txtFilePath.
void LoadDbPath(frmMain& form);

}  // namespace Module2
