#pragma once

class frmMain;

// The dated backup copy of the database file.
namespace modBackup {

void BackupDatabase(frmMain& form);

}  // namespace modBackup
