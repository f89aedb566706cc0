#include "modules/BackupName.h"

#include <QRegularExpression>
#include <algorithm>
#include <utility>

namespace BackupName {

QString ForDate(const QDate& date, int number) {
  return QStringLiteral("LW_%1%2%3_%4.mdb")
      .arg(date.year(), 4, 10, QLatin1Char('0'))
      .arg(date.month(), 2, 10, QLatin1Char('0'))
      .arg(date.day(), 2, 10, QLatin1Char('0'))
      .arg(number);
}

int FirstFree(const QDate& date, int from, const std::function<bool(const QString& name)>& isFree) {
  for (int n = std::max(from, kFirstNumber); n <= kLastNumber; ++n)
    if (isFree(ForDate(date, n))) return n;
  return 0;
}

QString Newest(const QStringList& names) {
  static const QRegularExpression kName(QStringLiteral("^LW_(\\d{8})_(\\d{1,3})\\.mdb$"));
  QString best;
  std::pair<QString, int> bestKey;
  for (const QString& name : names) {
    const QRegularExpressionMatch m = kName.match(name);
    if (!m.hasMatch() || !QDate::fromString(m.captured(1), QStringLiteral("yyyyMMdd")).isValid())
      continue;
    const std::pair<QString, int> key{m.captured(1), m.captured(2).toInt()};
    if (best.isEmpty() || key > bestKey) best = name, bestKey = key;
  }
  return best;
}

}  // namespace BackupName
