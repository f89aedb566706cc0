#include "modules/BackupName.h"

#include <algorithm>

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

}  // namespace BackupName
