// The dated backup made on "Yes" to the backup question: its name, its
// contents, what it never overwrites, and a warning when none could be made.
#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>

#include "modules/BackupName.h"
#include "support/AppTesting.h"

namespace {

using apptest::readAll;
using apptest::writeAll;

class Backup : public apptest::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    // More than one chunk of the copy.
    bytes = QByteArray("Standard Jet DB ") + QByteArray(300000, 'x') + "end";
    writeAll(database(), bytes);
    boxes.onShow = [this](const MsgBoxRecorder::Box&) { statusAtBox = w.lblProgress->text(); };
  }
  // "Yes" to the backup question. Returns the status line.
  QString yes() {
    Module2::iStage = 2;
    w.cmdYes_Click();
    return w.lblProgress->text();
  }
  QStringList backups() const { return QDir(folder()).entryList({"LW_*"}, QDir::AllEntries); }

  QByteArray bytes;
  QString statusAtBox;
  QDate today = QDate(2009, 9, 19);
};

TEST_F(Backup, NumbersCountUpFillGapsAndRestartEachDay) {
  platform::setClockHook([this] { return today; });
  EXPECT_EQ(yes(), "Backup file LW_20090919_1.mdb created");
  EXPECT_EQ(yes(), "Backup file LW_20090919_2.mdb created");
  EXPECT_EQ(yes(), "Backup file LW_20090919_3.mdb created");
  ASSERT_TRUE(QFile::remove(folder() + "LW_20090919_2.mdb"));
  EXPECT_EQ(yes(), "Backup file LW_20090919_2.mdb created");
  EXPECT_EQ(yes(), "Backup file LW_20090919_4.mdb created");
  today = QDate(2010, 1, 1);
  EXPECT_EQ(yes(), "Backup file LW_20100101_1.mdb created");
  for (const QString& name : backups()) EXPECT_EQ(readAll(folder() + name), bytes) << name;
  EXPECT_EQ(readAll(database()), bytes);
  EXPECT_TRUE(boxes.boxes.empty());
}

// The backup a salvage suggestion names as its template.
TEST(BackupNames, NewestIsTheLatestDayThenTheHighestNumber) {
  const struct {
    QStringList names;
    QString newest;
  } cases[] = {
      {{}, ""},
      {{"Ledgerwick.mdb", "LW_2009091_1.mdb", "LW_20091399_1.mdb", "lw_20090919_1.mdb"}, ""},
      {{"LW_20090919_2.mdb", "LW_20090919_10.mdb", "LW_20090919_9.mdb"}, "LW_20090919_10.mdb"},
      {{"LW_20100101_1.mdb", "LW_20091231_999.mdb"}, "LW_20100101_1.mdb"},
      {{"LW_20090919_1.mdb.tmp", "LW_20090919_1.mdb"}, "LW_20090919_1.mdb"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(BackupName::Newest(c.names), c.newest) << c.names.join(",").toStdString();
}

TEST_F(Backup, DateIsReadOnceSoMidnightCannotMixTwoDays) {
  today = QDate(2009, 12, 31);
  platform::setClockHook([this] { return std::exchange(today, today.addDays(1)); });
  yes();
  EXPECT_EQ(backups().size(), 1);
  EXPECT_TRUE(backups().value(0) == "LW_20091231_1.mdb" ||
              backups().value(0) == "LW_20100101_1.mdb")
      << backups().value(0).toStdString();
}

TEST_F(Backup, AnythingAtANameTakesIt) {
  ASSERT_TRUE(QDir().mkdir(folder() + "LW_20090919_1.mdb"));
  ASSERT_TRUE(QFile::link(folder() + "elsewhere.mdb", folder() + "LW_20090919_2.mdb"));
  writeAll(folder() + "LW_20090919_3.mdb", "someone's file");
  ASSERT_TRUE(QFile::setPermissions(folder() + "LW_20090919_3.mdb", {}));
  EXPECT_EQ(yes(), "Backup file LW_20090919_4.mdb created");
  EXPECT_FALSE(QFile::exists(folder() + "elsewhere.mdb"))
      << "the dangling link was written through";
  QFile::setPermissions(folder() + "LW_20090919_3.mdb", QFile::ReadOwner);
  EXPECT_EQ(readAll(folder() + "LW_20090919_3.mdb"), "someone's file");
}

// When no backup could be made, a warning says why before the replace
// question, which then comes as usual; nothing half-made is left.
TEST_F(Backup, FailureWarnsWithTheReasonAndLeavesNoFile) {
  const struct {
    const char* name;
    std::function<void()> setUp;
    QString warning;
  } cases[] = {
      {"disk full",
       [] { platform::setFileFaultHook(apptest::failAt(platform::FileStep::Write, ENOSPC, 1)); },
       "Could not create backup file LW_20090919_1.mdb: No space left on device."},
      {"written during the copy",
       [this] {
         platform::setFileFaultHook(
             [this](platform::FileStep step, const std::string&, uint64_t at) {
               if (step == platform::FileStep::Write && at > 0) {
                 QByteArray changed = bytes;
                 changed[0] = 'X';  // already copied
                 writeAll(database(), changed);
               }
               return 0;
             });
       },
       "Could not create backup file LW_20090919_1.mdb: Ledgerwick.mdb changed while it was "
       "copied."},
      {"no database", [this] { QFile::remove(database()); },
       "Could not create backup file LW_20090919_1.mdb: Ledgerwick.mdb cannot be read (No such "
       "file or directory)."},
      {"every name taken",
       [this] {
         for (int n = 1; n <= 999; ++n)
           writeAll(folder() + QString("LW_20090919_%1.mdb").arg(n), QByteArray::number(n));
       },
       "Could not create backup file: every name from LW_20090919_1.mdb to LW_20090919_999.mdb "
       "is taken."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    boxes.boxes.clear();
    c.setUp();
    const QStringList before = files();
    yes();
    platform::setFileFaultHook({});
    // The sequence goes on to the replace question, after the warning.
    EXPECT_EQ(ticksUntilTimerStops(), 5);
    EXPECT_EQ(w.lblProgress->text(), "Overwrite Ledgerwick.mdb with Repaired.mdb?");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, c.warning + " Ledgerwick.mdb has no backup.");
    EXPECT_EQ(boxes.boxes[0].style, platform::vbExclamation);
    EXPECT_EQ(statusAtBox, "Could not create backup file");
    EXPECT_EQ(files(), before);
    writeAll(database(), bytes);
  }
}

}  // namespace
