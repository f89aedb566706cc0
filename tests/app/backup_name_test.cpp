// Dated backup names and the search for the lowest free number.
#include <gtest/gtest.h>

#include <set>

#include "modules/BackupName.h"

namespace {

TEST(BackupName, DateIsZeroFilledNumberIsNot) {
  EXPECT_EQ(BackupName::ForDate(QDate(2009, 9, 19), 1), "LW_20090919_1.mdb");
  EXPECT_EQ(BackupName::ForDate(QDate(2009, 9, 19), 10), "LW_20090919_10.mdb");
  EXPECT_EQ(BackupName::ForDate(QDate(2031, 12, 31), 999), "LW_20311231_999.mdb");
  EXPECT_EQ(BackupName::ForDate(QDate(987, 1, 2), 7), "LW_09870102_7.mdb");
}

TEST(BackupName, FirstFreeTakesLowestGapWithinRange) {
  const QDate day(2009, 9, 19);
  std::set<QString> taken;
  auto isFree = [&](const QString& name) { return !taken.count(name); };

  EXPECT_EQ(BackupName::FirstFree(day, 1, isFree), 1);
  for (int n : {1, 2, 4}) taken.insert(BackupName::ForDate(day, n));
  EXPECT_EQ(BackupName::FirstFree(day, 1, isFree), 3);
  EXPECT_EQ(BackupName::FirstFree(day, 4, isFree), 5);
  // Below the first number the search still starts at 1.
  EXPECT_EQ(BackupName::FirstFree(day, -5, isFree), 3);
  // Another day's names do not count.
  EXPECT_EQ(BackupName::FirstFree(day.addDays(1), 1, isFree), 1);

  for (int n = 1; n <= 999; ++n) taken.insert(BackupName::ForDate(day, n));
  EXPECT_EQ(BackupName::FirstFree(day, 1, isFree), 0);
  taken.erase(BackupName::ForDate(day, 999));
  EXPECT_EQ(BackupName::FirstFree(day, 1, isFree), 999);
  EXPECT_EQ(BackupName::FirstFree(day, 1000, isFree), 0);
}

}  // namespace
