#pragma once

#include <QString>

class frmMain;

// Replacing the database file with the repaired copy.
namespace Module3 {

void ReplaceDatabase(frmMain& form);

// Called on the window's thread right after a successful compaction of
// database into repaired.
void RememberCompaction(const QString& database, const QString& repaired);

}  // namespace Module3
