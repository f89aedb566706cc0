#include "modules/ReplaceGuard.h"

#include <QCryptographicHash>
#include <QFile>

#include "jet/Error.h"
#include "platform/DurableFile.h"

namespace ReplaceGuard {

std::optional<FileIdentity> Identify(const QString& path) {
  const std::string native = QFile::encodeName(path).toStdString();
  const auto before = platform::fileFacts(native);
  if (!before) return std::nullopt;
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (!platform::readWholeFile(native, [&](const char* data, size_t size) {
        hash.addData(QByteArrayView(data, static_cast<qsizetype>(size)));
      }))
    return std::nullopt;
  // A file written to while it was hashed has no identity worth keeping.
  const auto after = platform::fileFacts(native);
  if (!after || after->size != before->size || after->mtimeNs != before->mtimeNs)
    return std::nullopt;
  return FileIdentity{before->size, before->mtimeNs, hash.result()};
}

QString WhyNotReplace(const std::optional<Compaction>& made, const QString& database,
                      const QString& repaired, const std::function<bool()>& inUse) {
  const QString notReplaced = QStringLiteral("Ledgerwick.mdb was not replaced: ");
  if (!made)
    return notReplaced + QStringLiteral(
                             "no repaired copy was made by this program since it started. "
                             "Click OPTIMIZE to make one.");
  const auto now = Identify(database);
  if (!now) return notReplaced + QStringLiteral("it can no longer be read in ") + database + ".";
  if (*now != made->database)
    return notReplaced + QStringLiteral(
                             "it has changed since it was optimized, and the repaired copy "
                             "would lose those changes. Click OPTIMIZE again.");
  const auto copy = Identify(repaired);
  if (!copy || *copy != made->repaired)
    return notReplaced + QStringLiteral(
                             "_Repaired.mdb is missing or is not the copy this program made. "
                             "Click OPTIMIZE again.");
  try {
    if (inUse && inUse())
      return notReplaced + QStringLiteral(
                               "another program is using it. Close that program, then click "
                               "OPTIMIZE again.");
  } catch (const jet::Error& e) {
    return notReplaced + QString::fromStdString(e.description());
  }
  return QString();
}

}  // namespace ReplaceGuard
