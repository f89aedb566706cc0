#include "platform/PrivateProfile.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <optional>

#include "platform/FileSystem.h"

namespace platform {
namespace {

bool isBlank(QChar c) { return c == ' ' || c == '\t'; }

QString trimBlanks(QStringView s) {
  qsizetype b = 0, e = s.size();
  while (b < e && isBlank(s[b])) ++b;
  while (e > b && isBlank(s[e - 1])) --e;
  return s.mid(b, e - b).toString();
}

QString unquote(const QString& v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.mid(1, v.size() - 2);
  return v;
}

// The value of key in section, or nothing when either is missing.
std::optional<QString> lookUp(const QString& text, const QString& section, const QString& key) {
  bool inSection = false;
  for (QStringView line : QStringView(text).split('\n')) {
    if (!line.isEmpty() && line.back() == '\r') line.chop(1);
    const QString t = trimBlanks(line);
    if (t.startsWith('[')) {
      const qsizetype close = t.indexOf(']');
      const QString name = trimBlanks(QStringView(t).mid(1, close < 0 ? -1 : close - 1));
      inSection = name.compare(section, Qt::CaseInsensitive) == 0;
      continue;
    }
    if (!inSection || t.isEmpty() || t.startsWith(';')) continue;
    const qsizetype eq = t.indexOf('=');
    if (eq < 0) continue;
    if (trimBlanks(QStringView(t).left(eq)).compare(key, Qt::CaseInsensitive) != 0) continue;
    return unquote(trimBlanks(QStringView(t).mid(eq + 1)));
  }
  return std::nullopt;
}

QString resolve(const QString& fileName) {
  return fileName.contains('/') ? fileName : ConfigFolder() + "/" + fileName;
}

}  // namespace

QString ConfigFolder() {
  const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (!xdg.isEmpty() && xdg.startsWith('/')) return xdg;
  return QDir::homePath() + "/.config";
}

int GetPrivateProfileString(const QString& section, const QString& key, const QString& def,
                            QString& buffer, int size, const QString& fileName) {
  buffer.clear();
  if (size <= 0) return 0;
  QString value = def;
  const QString path = resolve(fileName);
  // Only a regular file is read: a FIFO or device would block or never end.
  if (CanOpenForReading(path)) {
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
      QString text = QString::fromUtf8(f.read(1 << 20));
      if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);  // some editors write a BOM
      if (auto found = lookUp(text, section, key)) value = *found;
    }
  }
  qsizetype n = std::min<qsizetype>(value.size(), size - 1);
  // Never leave half of a surrogate pair at the cut.
  if (n > 0 && n < value.size() && value.at(n - 1).isHighSurrogate()) --n;
  buffer = value.left(n);
  return static_cast<int>(n);
}

}  // namespace platform
