#include "modules/modBackup.h"

#include <QLabel>
#include <QTimer>

#include "forms/frmMain.h"
#include "modules/Module2.h"

namespace modBackup {

// Interim: no copy yet; the sequence moves on to the replace question.
void BackupDatabase(frmMain& form) {
  form.lblProgress->setText("Backup is not available yet");
  Module2::iStage = 3;
  Module2::iTicks = 0;
  form.Timer1->start();
}

}  // namespace modBackup
