#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <functional>

// Names of the dated backup copies: "LW_" + yyyymmdd + "_" + n + ".mdb".
namespace BackupName {

constexpr int kFirstNumber = 1;
constexpr int kLastNumber = 999;

// The name of backup number n made on date; n is not zero-filled.
QString ForDate(const QDate& date, int number);

// The lowest number from `from` to kLastNumber whose name isFree accepts, or
// 0 when every one of them is taken.
int FirstFree(const QDate& date, int from, const std::function<bool(const QString& name)>& isFree);

// The newest backup among file names (the latest date, then the highest
// number), or "" when none is one.
QString Newest(const QStringList& names);

}  // namespace BackupName
