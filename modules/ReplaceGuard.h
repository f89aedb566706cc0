#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

// What the replacement checks before it touches the database file: that the
// database is the one that was compacted and the repaired copy the one that
// compaction wrote.
namespace ReplaceGuard {

// A file's contents at one moment: size, modification time and SHA-256.
struct FileIdentity {
  quint64 size = 0;
  qint64 mtimeNs = 0;
  QByteArray sha256;

  bool operator==(const FileIdentity&) const = default;
};

// The identity of the regular file at path, or nothing when it cannot be read
// or changed while it was read.
std::optional<FileIdentity> Identify(const QString& path);

// The database and repaired copy of one compaction.
struct Compaction {
  FileIdentity database;
  FileIdentity repaired;
};

// Why database must not be replaced by repaired, in words for the user, or
// an empty string when the replacement may go ahead. inUse tells whether
// another program holds the database open, or throws jet::Error when that
// cannot be told (a refusal too); it is asked last, so that as little time as
// possible passes between it and the replacement.
QString WhyNotReplace(const std::optional<Compaction>& made, const QString& database,
                      const QString& repaired, const std::function<bool()>& inUse);

}  // namespace ReplaceGuard
