// Files and start-up: the test behind FileExists, the delete the sequence
// uses, the settings file and the folder taken from it, the program's path
// and the engine's call.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QPushButton>

#include "modules/fileReady.h"
#include "platform/FileSystem.h"
#include "platform/PrivateProfile.h"
#include "support/AppTesting.h"

namespace {

using apptest::writeAll;

class Files : public ::testing::Test {
 protected:
  QString path(const QString& name) const { return startup.root() + "/" + name; }
  void link(const char* to, const char* name) {
    ASSERT_EQ(::symlink(QFile::encodeName(path(to)), QFile::encodeName(path(name))), 0);
  }
  apptest::IsolatedStartup startup;
};

TEST_F(Files, ExistsOnlyForARegularFileThatOpensAndNeverBlocks) {
  writeAll(path("db.mdb"), "x");
  writeAll(path("empty.mdb"), "");
  link("db.mdb", "link.mdb");
  link("gone.mdb", "dangling.mdb");
  ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe")), 0600), 0);  // no writer: an open would hang
  const std::pair<QString, bool> cases[] = {
      {path("db.mdb"), true},
      {path("empty.mdb"), true},
      {path("link.mdb"), true},
      {startup.root(), false},
      {startup.root() + "/", false},
      {"", false},
      {path("missing"), false},
      {path("db.mdb/"), false},
      {path("dangling.mdb"), false},
      {path("pipe"), false},
      {"/dev/null", false},
      {"/dev/zero", false},
      {path("db.mdb") + QChar(0) + "x", false},
  };
  QDeadlineTimer deadline(2000);
  for (const auto& [name, exists] : cases) EXPECT_EQ(fileReady::FileExists(name), exists) << name;
  EXPECT_FALSE(deadline.hasExpired());
  if (::geteuid() == 0) return;  // root reads every file
  ASSERT_TRUE(QFile::setPermissions(path("db.mdb"), {}));
  EXPECT_FALSE(fileReady::FileExists(path("db.mdb")));
}

TEST_F(Files, DeleteRemovesFilesAndLinksButNoFolder) {
  writeAll(path("a.mdb"), "x");
  EXPECT_FALSE(platform::DeleteFile(path("a.mdb")).has_value());
  EXPECT_FALSE(QFileInfo::exists(path("a.mdb")));
  const auto missing = platform::DeleteFile(path("a.mdb"));
  ASSERT_TRUE(missing.has_value());
  EXPECT_EQ(missing->number, 53);
  EXPECT_TRUE(missing->description.contains(path("a.mdb")));
  ASSERT_TRUE(QDir().mkdir(path("sub")));
  EXPECT_TRUE(platform::DeleteFile(path("sub")).has_value());
  EXPECT_TRUE(QFileInfo(path("sub")).isDir());
  link("nowhere", "dangling");
  EXPECT_FALSE(platform::DeleteFile(path("dangling")).has_value());
  EXPECT_FALSE(QFileInfo(path("dangling")).isSymLink());
}

TEST_F(Files, ProfileReaderFollowsWindowsRules) {
  const QString longValue = "/" + QString(299, 'a');
  const struct {
    QByteArray contents;
    int size;
    QString value;
  } cases[] = {
      // Section and key ignore case and blanks; the first match wins.
      {"; c\r\n[Other]\r\ndbPath=/wrong/\r\n[ config ]\r\n  DBPATH  =  /right/x.mdb  \r\n"
       "dbpath=/second/\r\n[Config]\r\ndbPath=/third/\r\n",
       255, "/right/x.mdb"},
      {"\xEF\xBB\xBF[Config]\ndbPath=/bom/\n", 255, "/bom/"},
      // One pair of quotes goes, blanks inside stay.
      {"[Config]\ndbPath= \"  /my data/ \" \n", 255, "  /my data/ "},
      {"[Config]\ndbPath=\"\"/q/\"\"\n", 255, "\"/q/\""},
      {"[Config]\ndbPath='/single/'\n", 255, "/single/"},
      {"[Config]\ndbPath=\"/unbalanced/\n", 255, "\"/unbalanced/"},
      {"[Config]\nother=1\n[Else]\ndbPath=/x/\n", 255, ""},
      {"dbPath=/outside/any/section/\n", 255, ""},
      // The buffer size cuts the value.
      {"[Config]\ndbPath=" + longValue.toUtf8() + "\n", 255, longValue.left(254)},
      {"[Config]\ndbPath=/x/\n", 1, ""},
      {"[Config]\ndbPath=/x/\n", 0, ""},
  };
  for (const auto& c : cases) {
    writeAll(path("s.ini"), c.contents);
    QString buffer;
    const int n =
        platform::GetPrivateProfileString("Config", "dbPath", "", buffer, c.size, path("s.ini"));
    EXPECT_EQ(buffer.left(n), c.value) << c.contents.toStdString();
    EXPECT_EQ(n, c.value.size());
  }
  QString buffer;
  EXPECT_EQ(
      platform::GetPrivateProfileString("Config", "dbPath", "dflt", buffer, 255, path("none.ini")),
      4);
  EXPECT_EQ(buffer, "dflt");
  ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe.ini")), 0600), 0);
  EXPECT_EQ(
      platform::GetPrivateProfileString("Config", "dbPath", "", buffer, 255, path("pipe.ini")), 0);
  // A name without a folder is looked for in the config folder.
  startup.writeSettings("[Config]\ndbPath=/from/config/\n");
  EXPECT_EQ(
      platform::GetPrivateProfileString("Config", "dbPath", "", buffer, 255, "Ledgerwick.ini"), 13);
  qunsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(platform::ConfigFolder(), QDir::homePath() + "/.config");
}

TEST(DbPathFolder, FolderPartKeepsItsSeparator) {
  const std::pair<const char*, const char*> examples[] = {
      {"/data/Ledgerwick.mdb", "/data/"}, {"/data//", "/data/"},  {"/data", "/"},
      {"/srv/a b/ x.mdb", "/srv/a b/"},   {"Ledgerwick.mdb", ""}, {"/Ledgerwick.mdb", "/"},
  };
  for (auto [value, folder] : examples) EXPECT_EQ(Module2::FolderOfDbPath(value), folder) << value;
}

TEST_F(Files, StartUpFolderComesFromTheFirstSettingsFileFound) {
  auto loaded = [&] {
    frmMain w;
    w.Form_Load();
    return std::pair{w.txtFilePath->text(), w.cmdCompactRepair->isEnabled()};
  };
  EXPECT_EQ(loaded(), std::pair(QString(), false));  // no settings file at all
  startup.writeSettings("[Config]\ndbPath=/no/such/Ledgerwick.mdb\n");
  EXPECT_EQ(loaded(), std::pair(QString("/no/such/"), true));
  // Beside the program first, its extension replaced; a dot in a folder is none.
  QDir().mkpath(path("bin/v1.2"));
  startup.programPath = path("bin/opt.exe");
  writeAll(path("bin/opt.ini"), "[Config]\ndbPath=/beside/db.mdb\n");
  EXPECT_EQ(loaded().first, "/beside/");
  startup.programPath = path("bin/v1.2/opt");
  EXPECT_EQ(Module2::SettingsFileName(), "Ledgerwick.ini");
  writeAll(path("bin/v1.2/opt.ini"), "[Config]\ndbPath=/dotted/\n");
  EXPECT_EQ(Module2::SettingsFileName(), path("bin/v1.2/opt.ini"));
  startup.programPath = "abc";
  EXPECT_EQ(Module2::SettingsFileName(), "Ledgerwick.ini");
  // The value is cut to 254 characters before its folder is taken.
  const QString folder = "/" + QString(248, 'd') + "/";
  startup.writeSettings("[Config]\ndbPath=" + (folder + QString(60, 'f')).toUtf8() + "\n");
  EXPECT_EQ(loaded().first, folder);
  startup.writeSettings("[Config]\ndbPath=/top/" + QByteArray(260, 'x') + "/Ledgerwick.mdb\n");
  EXPECT_EQ(loaded().first, "/top/");
  startup.writeSettings("[Config]\ndbPath=Ledgerwick.mdb\n");
  EXPECT_EQ(loaded(), std::pair(QString(), false));
}

TEST(ProgramPath, IsThisExecutableCutToCapacity) {
  QString path;
  const int n = platform::GetModuleFileName(path, 999);
  EXPECT_EQ(n, path.size());
  EXPECT_EQ(QFileInfo(path).canonicalFilePath(),
            QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());
  EXPECT_EQ(platform::GetModuleFileName(path, 5), 4);
  EXPECT_EQ(path, QCoreApplication::applicationFilePath().left(4));
}

TEST(DBEngine, RefusesSettingsItCannotHonourAndCancelsWhenTold) {
  QTemporaryDir dir;
  const QString dst = dir.path() + "/out.mdb";
  platform::DBEngine engine;
  const QString src = apptest::demoDatabase();
  EXPECT_THROW(engine.CompactDatabase(src, dst, QString(";pwd=x"), {}, apptest::kPassword),
               jet::Error);
  EXPECT_THROW(engine.CompactDatabase(src, dst, {}, 64, apptest::kPassword), jet::Error);
  engine.setProgress([](double) { return false; });  // reaches the engine itself
  EXPECT_THROW(engine.CompactDatabase(src, dst, {}, {}, apptest::kPassword), jet::Error);
  EXPECT_TRUE(apptest::listing(dir.path()).isEmpty());
}

}  // namespace
