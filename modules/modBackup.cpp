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
#include "platform/MessageBox.h"

namespace modBackup {
namespace {

std::string nativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// One backup attempt: the name made, or why none could be made.
struct Outcome {
  QString name;
  QString failure;
};

QString failureText(const QString& name, const platform::FileResult& r) {
  const QString head =
      QStringLiteral("Could not create backup file ") + name + QStringLiteral(": ");
  if (r.failedStep == platform::FileStep::OpenSource)
    return head + QStringLiteral("Ledgerwick.mdb cannot be read (") +
           QString::fromStdString(r.reason) + QStringLiteral(").");
  if (r.failedStep == platform::FileStep::Verify && r.errnum == 0)
    return head + QStringLiteral("Ledgerwick.mdb changed while it was copied.");
  return head + QString::fromStdString(r.reason) + QStringLiteral(".");
}

// Makes the first backup of database on date whose name is free in folder.
Outcome MakeBackup(const QString& folder, const QString& database, const QDate& date) {
  auto isFree = [&](const QString& name) {
    return platform::pathIsFree(nativePath(folder + name));
  };
  for (int n = BackupName::FirstFree(date, BackupName::kFirstNumber, isFree); n != 0;
       n = BackupName::FirstFree(date, n + 1, isFree)) {
    const QString name = BackupName::ForDate(date, n);
    const platform::FileResult r =
        platform::copyToNewFile(nativePath(database), nativePath(folder + name));
    if (r.ok()) return {name, {}};
    // Someone took the name since it was tested: try the next one. Any other
    // failure (disk full, no access) would only repeat.
    if (!r.alreadyExists()) return {{}, failureText(name, r)};
  }
  return {{},
          QStringLiteral("Could not create backup file: every name from %1 to %2 is taken.")
              .arg(BackupName::ForDate(date, BackupName::kFirstNumber),
                   BackupName::ForDate(date, BackupName::kLastNumber))};
}

}  // namespace

void BackupDatabase(frmMain& form) {
  // One reading each: the date cannot mix two days at midnight, and the folder
  // is the one in the box when "Yes" was pressed.
  const QDate today = platform::currentDate();
  const QString folder = form.txtFilePath->text();
  const Outcome made = MakeBackup(folder, folder + QStringLiteral("Ledgerwick.mdb"), today);
  if (made.name.isEmpty()) {
    form.lblProgress->setText(QStringLiteral("Could not create backup file"));
    // Said before the replace question comes, which would overwrite the only copy.
    platform::MsgBox(made.failure + QStringLiteral(" Ledgerwick.mdb has no backup."),
                     platform::vbExclamation);
  } else {
    form.lblProgress->setText(QStringLiteral("Backup file ") + made.name +
                              QStringLiteral(" created"));
  }
  Module2::iStage = 3;
  Module2::iTicks = 0;
  form.Timer1->start();
}

}  // namespace modBackup
