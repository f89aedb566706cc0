// Replacing the database with the repaired copy on "Yes" to the replace
// question: only what was compacted, only when nobody uses it, through a
// symbolic link into the file it leads to, and reported truthfully.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include "modules/Module3.h"
#include "modules/modBackup.h"
#include "support/AppTesting.h"

namespace {

using apptest::readAll;
using apptest::writeAll;
using platform::FileStep;

class Replace : public apptest::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    old_ = QByteArray("old database ") + QByteArray(600000, 'o');
    repaired_ = QByteArray("repaired ") + QByteArray(400000, 'r');
    reset();
  }
  void reset() {
    writeAll(database(), old_);
    writeAll(repaired(), repaired_);
    Module3::RememberCompaction(database(), repaired());
  }
  // Runs the replacement; returns the texts of the boxes it showed.
  QStringList replace() {
    boxes.boxes.clear();
    Module3::ReplaceDatabase(w);
    return texts();
  }
  void setMtime(const QString& path, int64_t ns) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {ns / 1000000000, ns % 1000000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
  }
  int64_t mtime(const QString& path) {
    return platform::fileFacts(QFile::encodeName(path).toStdString())->mtimeNs;
  }

  QByteArray old_, repaired_;
};

TEST_F(Replace, DatabaseBecomesTheRepairedCopyOnce) {
  EXPECT_EQ(replace(), QStringList{"Process Complete"});
  EXPECT_EQ(readAll(database()), repaired_);
  EXPECT_EQ(readAll(repaired()), repaired_);
  EXPECT_EQ(files(), QStringList({"Ledgerwick.mdb", "_Repaired.mdb"}));
  // The compaction is used up: a second answer replaces nothing more.
  writeAll(repaired(), "something else");
  EXPECT_TRUE(replace().value(0).contains("no repaired copy was made"));
  EXPECT_EQ(readAll(database()), repaired_);
}

TEST_F(Replace, RefusalsKeepTheDatabase) {
  QByteArray byHost;  // what the host program writes meanwhile, if anything
  std::optional<apptest::LockHolder> lock;
  const struct {
    const char* name;
    std::function<void()> act;
    const char* says;
  } cases[] = {
      {"copy fails part way",
       [] { platform::setFileFaultHook(apptest::failAt(FileStep::Write, ENOSPC, 1)); },
       "Could not remove Ledgerwick.mdb for replacement: write "},
      {"changed, same size and time",
       [&] {
         const int64_t t = mtime(database());
         writeAll(database(), QByteArray(old_).replace(100, 1, "X"));
         setMtime(database(), t);
       },
       "changed since it was optimized"},
      {"touched", [&] { setMtime(database(), mtime(database()) + 1000000000); },
       "changed since it was optimized"},
      {"written while the copy is made",
       [&] {
         byHost = QByteArray(old_).replace(7, 1, "#");
         platform::setFileFaultHook([&](FileStep step, const std::string&, uint64_t) {
           if (step == FileStep::Verify) writeAll(database(), byHost);
           return 0;
         });
       },
       "changed since it was optimized"},
      {"written while it was compacted",
       [&] {
         Module3::NoteCompactionStart(database());
         writeAll(database(), old_ + "appended row");
         Module3::RememberCompaction(database(), repaired());
       },
       "no repaired copy was made"},
      {"repaired copy not this run's", [&] { writeAll(repaired(), "another copy"); },
       "_Repaired.mdb is missing or is not the copy"},
      {"lock held", [&] { lock.emplace(folder() + "Ledgerwick.ldb"); },
       "another program is using it"},
      {"lock file unreadable",  // a link to itself: it is there but cannot be opened
       [&] { ::symlink("Ledgerwick.ldb", QFile::encodeName(folder() + "Ledgerwick.ldb")); },
       "Ledgerwick.ldb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    byHost.clear();
    c.act();
    const QByteArray before = readAll(database()), copy = readAll(repaired());
    const QStringList said = replace();
    platform::setFileFaultHook({});
    lock.reset();
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].contains(c.says)) << said[0].toStdString();
    EXPECT_EQ(readAll(database()), byHost.isEmpty() ? before : byHost);
    EXPECT_EQ(readAll(repaired()), copy);
    EXPECT_TRUE(files().filter(".tmp").isEmpty()) << files().join(", ").toStdString();
    QFile::remove(folder() + "Ledgerwick.ldb");
  }
}

// After the rename the database is the new file; what goes wrong then has a
// message of its own, and is never reported as done.
TEST_F(Replace, TroubleAfterTheRenameIsReportedAsSuch) {
  const struct {
    const char* name;
    platform::FileFaultHook hook;
    const char* says;
  } cases[] = {
      {"folder not flushed", apptest::failAt(FileStep::SyncFolder, EIO),
       "the change could not be saved to disk for certain (flush the folder of"},
      {"mismatch afterwards",
       [&](FileStep step, const std::string&, uint64_t) {
         if (step == FileStep::SyncFolder) writeAll(database(), "overwritten at once");
         return 0;
       },
       "does not match _Repaired.mdb afterwards"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    platform::setFileFaultHook(c.hook);
    const QStringList said = replace();
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].contains(c.says)) << said[0].toStdString();
  }
}

// Ledgerwick.mdb -> real/Ledgerwick.mdb: the link stays, the file it leads to
// is replaced in its own folder, and the lock beside that file counts.
TEST_F(Replace, ThroughASymbolicLink) {
  const QString real = folder() + "real/", target = real + "Ledgerwick.mdb";
  ASSERT_TRUE(QDir().mkpath(real));
  QFile::remove(database());
  writeAll(target, old_);
  ASSERT_TRUE(QFile::link(target, database()));
  Module3::RememberCompaction(database(), repaired());
  {
    apptest::LockHolder lock(real + "Ledgerwick.ldb");
    EXPECT_TRUE(replace().value(0).contains("another program is using it"));
  }
  ASSERT_TRUE(QFile::remove(real + "Ledgerwick.ldb"));
  platform::setFileFaultHook([&](FileStep step, const std::string& path, uint64_t) {
    return step == FileStep::Create && QString::fromStdString(path).startsWith(real) ? EACCES : 0;
  });
  EXPECT_EQ(replace(), QStringList{"Ledgerwick.mdb was not replaced: it is a link to " + target +
                                   ", and a new file cannot be made in that file's folder "
                                   "(Permission denied)."});
  EXPECT_EQ(readAll(target), old_);
  platform::setFileFaultHook({});

  EXPECT_EQ(replace(), QStringList{"Process Complete"});
  EXPECT_EQ(QFileInfo(database()).symLinkTarget(), target);
  EXPECT_EQ(readAll(target), repaired_);
  EXPECT_EQ(apptest::listing(real), QStringList{"Ledgerwick.mdb"});
  EXPECT_EQ(files(), QStringList({"Ledgerwick.mdb", "_Repaired.mdb", "real"}));
}

// A real full disk and a real read-only folder (a small tmpfs; needs the right
// to mount): no backup and no replacement, and nothing half-made.
TEST_F(Replace, OnAFullDiskOrReadOnlyFolderNothingIsHalfMade) {
  const QByteArray mount = QFile::encodeName(startup.root() + "/small");
  ASSERT_TRUE(QDir().mkpath(startup.root() + "/small"));
  if (::mount("tmpfs", mount.constData(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here";
  w.txtFilePath->setText(startup.root() + "/small/");
  const QString db = startup.root() + "/small/Ledgerwick.mdb";
  const QByteArray big(600 * 1024, 'o'), copy(300 * 1024, 'r');
  writeAll(db, big);
  writeAll(startup.root() + "/small/_Repaired.mdb", copy);
  for (bool readOnly : {false, true}) {
    SCOPED_TRACE(readOnly ? "read-only" : "full");
    if (readOnly) {
      ASSERT_EQ(::mount(nullptr, mount.constData(), nullptr, MS_REMOUNT | MS_RDONLY, "size=1m"), 0);
    }
    Module3::RememberCompaction(db, startup.root() + "/small/_Repaired.mdb");
    boxes.boxes.clear();
    modBackup::BackupDatabase(w);
    EXPECT_TRUE(texts().value(0).startsWith("Could not create backup file LW_20090919_1.mdb: "));
    EXPECT_TRUE(replace().value(0).startsWith("Could not remove Ledgerwick.mdb for replacement"));
    EXPECT_EQ(readAll(db), big);
    EXPECT_EQ(apptest::listing(startup.root() + "/small"),
              QStringList({"Ledgerwick.mdb", "_Repaired.mdb"}));
  }
  ::umount2(mount.constData(), MNT_DETACH);
}

}  // namespace
