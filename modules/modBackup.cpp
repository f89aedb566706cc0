#include "modules/modBackup.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "forms/frmMain.h"
#include "modules/BackupName.h"
#include "modules/Module2.h"
#include "platform/Clock.h"
#include "platform/DurableFile.h"

namespace modBackup {
namespace {

std::string nativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Makes the first backup of database on date whose name is free in folder.
// Returns the name made, or an empty string when none could be made.
QString MakeBackup(const QString& folder, const QString& database, const QDate& date) {
  auto isFree = [&](const QString& name) {
    return platform::pathIsFree(nativePath(folder + name));
  };
  for (int n = BackupName::FirstFree(date, BackupName::kFirstNumber, isFree); n != 0;
       n = BackupName::FirstFree(date, n + 1, isFree)) {
    const QString name = BackupName::ForDate(date, n);
    const platform::FileResult r =
        platform::copyToNewFile(nativePath(database), nativePath(folder + name));
    if (r.ok()) return name;
    // Someone took the name since it was tested: try the next one. Any other
    // failure (disk full, no access) would only repeat.
    if (!r.alreadyExists()) break;
  }
  return QString();
}

}  // namespace

void BackupDatabase(frmMain& form) {
  // One reading each: the date cannot mix two days at midnight, and the folder
  // is the one in the box when "Yes" was pressed.
  const QDate today = platform::currentDate();
  const QString folder = form.txtFilePath->text();
  const QString name = MakeBackup(folder, folder + QStringLiteral("Ledgerwick.mdb"), today);
  form.lblProgress->setText(name.isEmpty() ? QStringLiteral("Could not create backup file")
                                           : QStringLiteral("Backup file ") + name +
                                                 QStringLiteral(" created"));
  Module2::iStage = 3;
  Module2::iTicks = 0;
  form.Timer1->start();
}

}  // namespace modBackup
