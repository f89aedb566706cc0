#include "modules/Module3.h"

#include "platform/MessageBox.h"

namespace Module3 {

// Interim: the replacement comes with the backup work.
void ReplaceDatabase(frmMain& /*form*/) {
  platform::MsgBox("Replacing the database is not available yet");
}

void RememberCompaction(const QString& /*database*/, const QString& /*repaired*/) {}

}  // namespace Module3
