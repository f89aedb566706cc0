#pragma once

#include <QString>

namespace platform {

// Reads one value of a private-profile (INI) file the way Windows does:
// section and key match without regard to case, the first match wins, the
// value loses surrounding blanks and then one pair of matching surrounding
// quotes. When the file, section or key is missing, def is used instead. At
// most size - 1 characters are copied into buffer; returns how many were.
// A file name without a folder is looked for in ConfigFolder().
int GetPrivateProfileString(const QString& section, const QString& key, const QString& def,
                            QString& buffer, int size, const QString& fileName);

// $XDG_CONFIG_HOME when set to an absolute path, else ~/.config.
QString ConfigFolder();

}  // namespace platform
