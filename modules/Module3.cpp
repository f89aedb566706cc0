#include "modules/Module3.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>

#include "forms/frmMain.h"
#include "modules/ReplaceGuard.h"
#include "platform/DurableFile.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

namespace Module3 {
namespace {

// The compaction made by this run, if any.
std::optional<ReplaceGuard::Compaction>& lastCompaction() {
  static std::optional<ReplaceGuard::Compaction> made;
  return made;
}

std::string nativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The database as it was when the compaction started: its path, size and
// modification time (a write changes the time).
struct Start {
  QString database;
  platform::FileFacts facts;
};
std::optional<Start>& compactionStart() {
  static std::optional<Start> start;
  return start;
}

bool changedSinceStart(const QString& database) {
  const auto& start = compactionStart();
  if (!start || start->database != database) return false;
  const auto now = platform::fileFacts(nativePath(database));
  return !now || now->size != start->facts.size || now->mtimeNs != start->facts.mtimeNs;
}

// What the user is told when the replacement failed before the rename, so
// the old database is still in place: why, and for a link where it leads.
QString notReplaced(const QString& database, const platform::FileResult& r) {
  const QString why = QString::fromStdString(r.reason);
  const QFileInfo link(database);
  if (link.isSymLink() && r.failedStep == platform::FileStep::Create)
    return QStringLiteral("Ledgerwick.mdb was not replaced: it is a link to ") +
           link.symLinkTarget() +
           QStringLiteral(", and a new file cannot be made in that file's folder (") + why +
           QStringLiteral(").");
  return QStringLiteral("Could not remove Ledgerwick.mdb for replacement: ") +
         QString::fromStdString(r.message);
}

}  // namespace

void NoteCompactionStart(const QString& database) {
  auto& start = compactionStart();
  start.reset();
  lastCompaction().reset();
  if (const auto facts = platform::fileFacts(nativePath(database))) start = Start{database, *facts};
}

void RememberCompaction(const QString& database, const QString& repaired) {
  auto& made = lastCompaction();
  made.reset();
  const bool changed = changedSinceStart(database);
  compactionStart().reset();
  if (changed) return;
  const auto db = ReplaceGuard::Identify(database);
  const auto copy = ReplaceGuard::Identify(repaired);
  // Without both identities nothing may be replaced later.
  if (db && copy) made = ReplaceGuard::Compaction{*db, *copy};
}

void ReplaceDatabase(frmMain& form) {
  const QString folder = form.txtFilePath->text();
  const QString database = folder + QStringLiteral("Ledgerwick.mdb");
  const QString repaired = folder + QStringLiteral("_Repaired.mdb");

  // Checked before the copy and once more right before the rename, as the
  // host program may open or change its database while the copy runs.
  QString refusal;
  auto mayReplace = [&] {
    refusal = ReplaceGuard::WhyNotReplace(lastCompaction(), database, repaired,
                                          [&] { return platform::DatabaseInUse(database); });
    return refusal.isEmpty();
  };
  if (!mayReplace()) {
    platform::MsgBox(refusal);
    return;
  }

  const platform::FileResult r =
      platform::replaceFile(nativePath(repaired), nativePath(database), mayReplace);
  if (!refusal.isEmpty()) {
    platform::MsgBox(refusal);
    return;
  }
  if (!r.ok() && r.failedStep != platform::FileStep::SyncFolder) {
    form.lblProgress->setText(QString());
    platform::MsgBox(notReplaced(database, r));
    return;
  }
  if (!platform::sameContents(nativePath(database), nativePath(repaired))) {
    platform::MsgBox(
        QStringLiteral("Ledgerwick.mdb was replaced, but it does not match "
                       "_Repaired.mdb afterwards. Check the folder before using it."));
    return;
  }
  if (!r.ok()) {
    platform::MsgBox(QStringLiteral("Ledgerwick.mdb was replaced, but the change could not be "
                                    "saved to disk for certain (") +
                     QString::fromStdString(r.message) + QStringLiteral(")."));
    return;
  }
  // The database is now the repaired copy, so the compaction is used up.
  lastCompaction().reset();
  platform::MsgBox(QStringLiteral("Process Complete"));
}

}  // namespace Module3
