#pragma once

#include <QString>

class frmMain;

// Replacing the database file with the repaired copy.
namespace Module3 {

// Replaces the database in the folder of txtFilePath by its repaired copy,
// when both are what this run's compaction read and wrote; reports in
// message boxes.
void ReplaceDatabase(frmMain& form);

// Called on the window's thread just before a compaction of database starts.
// A database written to between this and RememberCompaction is then never
// replaced: the repaired copy would not hold what was written.
void NoteCompactionStart(const QString& database);

// Called on the window's thread right after a successful compaction of
// database into repaired.
void RememberCompaction(const QString& database, const QString& repaired);

}  // namespace Module3
