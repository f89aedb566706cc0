// Start-up configuration: the profile reader's rules, where the settings file
// is looked for, and the folder LoadDbPath takes from "dbPath".
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include "forms/frmMain.h"
#include "modules/Module2.h"
#include "platform/PrivateProfile.h"
#include "support/AppTesting.h"

namespace {

void writeFile(const QString& path, const QByteArray& contents) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  f.write(contents);
}

struct Read {
  int count;
  QString value;
};

Read readValue(const QString& file, int size = 255, const QString& section = "Config",
               const QString& key = "dbPath") {
  QString buffer;
  const int n = platform::GetPrivateProfileString(section, key, "", buffer, size, file);
  return {n, buffer};
}

class ProfileReader : public ::testing::Test {
 protected:
  apptest::IsolatedStartup startup;
  QString file() const { return startup.root() + "/settings.ini"; }
};

TEST_F(ProfileReader, SectionAndKeyIgnoreCaseAndTheFirstMatchWins) {
  writeFile(
      file(),
      "; comment\r\n[Other]\r\ndbPath=/wrong/\r\n[ config ]\r\n  DBPATH  =  /right/x.mdb  \r\n"
      "dbpath=/second/\r\n[Config]\r\ndbPath=/third/\r\n");
  const Read r = readValue(file());
  EXPECT_EQ(r.value, "/right/x.mdb");
  EXPECT_EQ(r.count, r.value.size());
  EXPECT_EQ(readValue(file(), 255, "CONFIG", "DbPath").value, "/right/x.mdb");
}

TEST_F(ProfileReader, ByteOrderMarkBeforeTheFirstSectionIsIgnored) {
  writeFile(file(), "\xEF\xBB\xBF[Config]\ndbPath=/bom/\n");
  EXPECT_EQ(readValue(file()).value, "/bom/");
}

TEST_F(ProfileReader, OnePairOfQuotesGoesBlanksInsideStay) {
  writeFile(file(), "[Config]\ndbPath= \"  /my data/ \" \n");
  EXPECT_EQ(readValue(file()).value, "  /my data/ ");
  writeFile(file(), "[Config]\ndbPath=\"\"/q/\"\"\n");
  EXPECT_EQ(readValue(file()).value, "\"/q/\"");
  writeFile(file(), "[Config]\ndbPath='/single/'\n");
  EXPECT_EQ(readValue(file()).value, "/single/");
  writeFile(file(), "[Config]\ndbPath=\"/unbalanced/\n");
  EXPECT_EQ(readValue(file()).value, "\"/unbalanced/");
}

TEST_F(ProfileReader, MissingFileSectionOrKeyGiveTheDefault) {
  QString buffer;
  EXPECT_EQ(platform::GetPrivateProfileString("Config", "dbPath", "dflt", buffer, 255,
                                              startup.root() + "/none.ini"),
            4);
  EXPECT_EQ(buffer, "dflt");
  writeFile(file(), "[Config]\nother=1\n[Else]\ndbPath=/x/\n");
  EXPECT_EQ(readValue(file()).count, 0);
  writeFile(file(), "dbPath=/outside/any/section/\n");
  EXPECT_EQ(readValue(file()).count, 0);
}

TEST_F(ProfileReader, BufferSizeCutsTheValue) {
  const QString longValue = "/" + QString(299, 'a');
  writeFile(file(), "[Config]\ndbPath=" + longValue.toUtf8() + "\n");
  const Read r = readValue(file());
  EXPECT_EQ(r.count, 254);
  EXPECT_EQ(r.value, longValue.left(254));
  EXPECT_EQ(readValue(file(), 1).count, 0);
  EXPECT_EQ(readValue(file(), 0).count, 0);
}

TEST_F(ProfileReader, NameWithoutFolderIsLookedForInTheConfigFolder) {
  startup.writeSettings("[Config]\ndbPath=/from/config/\n");
  EXPECT_EQ(readValue("Ledgerwick.ini").value, "/from/config/");
  EXPECT_EQ(platform::ConfigFolder(), startup.config());
  qunsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(platform::ConfigFolder(), QDir::homePath() + "/.config");
}

TEST_F(ProfileReader, FifoIsNotReadAndDoesNotBlock) {
  const QString fifo = startup.root() + "/pipe.ini";
  ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
  QString buffer;
  EXPECT_EQ(platform::GetPrivateProfileString("Config", "dbPath", "", buffer, 255, fifo), 0);
}

TEST(DbPathFolder, ExamplesWithSlashes) {
  const std::pair<const char*, const char*> examples[] = {
      {"/data/Ledgerwick.mdb", "/data/"},
      {"/data/", "/data/"},
      {"/data//", "/data/"},
      {"/data", "/"},
      {"/srv/a b/ Ledgerwick.mdb", "/srv/a b/"},
      {"Ledgerwick.mdb", ""},
      {"/Ledgerwick.mdb", "/"},
  };
  for (auto [value, folder] : examples) EXPECT_EQ(Module2::FolderOfDbPath(value), folder) << value;
}

class StartupFolder : public ::testing::Test {
 protected:
  QString loadedFolder() {
    frmMain w;
    w.Form_Load();
    optimizeEnabled = w.cmdCompactRepair->isEnabled();
    return w.txtFilePath->text();
  }
  apptest::IsolatedStartup startup;
  bool optimizeEnabled = false;
};

TEST_F(StartupFolder, FromLedgerwickIniInTheConfigFolder) {
  startup.writeSettings("[Config]\ndbPath=/data/Ledgerwick.mdb\n");
  EXPECT_EQ(loadedFolder(), "/data/");
  EXPECT_TRUE(optimizeEnabled);
}

TEST_F(StartupFolder, BesideTheProgramFirst) {
  startup.writeSettings("[Config]\ndbPath=/from/config/\n");
  QDir().mkpath(startup.root() + "/bin");
  startup.programPath = startup.root() + "/bin/ledgerwick-optimizer";
  writeFile(startup.root() + "/bin/ledgerwick-optimizer.ini", "[Config]\ndbPath=/beside/db.mdb\n");
  EXPECT_EQ(Module2::SettingsFileName(), startup.root() + "/bin/ledgerwick-optimizer.ini");
  EXPECT_EQ(loadedFolder(), "/beside/");
  // A program with an extension has it replaced.
  startup.programPath = startup.root() + "/bin/opt.exe";
  writeFile(startup.root() + "/bin/opt.ini", "[Config]\ndbPath=/ext/\n");
  EXPECT_EQ(loadedFolder(), "/ext/");
  // A dot in a folder name is no extension.
  QDir().mkpath(startup.root() + "/v1.2");
  startup.programPath = startup.root() + "/v1.2/opt";
  EXPECT_EQ(Module2::SettingsFileName(), "Ledgerwick.ini");
  writeFile(startup.root() + "/v1.2/opt.ini", "[Config]\ndbPath=/dotted/\n");
  EXPECT_EQ(Module2::SettingsFileName(), startup.root() + "/v1.2/opt.ini");
}

TEST_F(StartupFolder, ShortOrMissingProgramPathFallsBack) {
  startup.writeSettings("[Config]\ndbPath=/from/config/\n");
  startup.programPath = "abc";
  EXPECT_EQ(Module2::SettingsFileName(), "Ledgerwick.ini");
  startup.programPath = "";
  EXPECT_EQ(loadedFolder(), "/from/config/");
}

TEST_F(StartupFolder, NothingUsableLeavesTheBoxEmptyAndOptimizeOff) {
  EXPECT_EQ(loadedFolder(), "");  // no settings file at all
  EXPECT_FALSE(optimizeEnabled);
  startup.writeSettings("[Config]\ndbPath=\n");
  EXPECT_EQ(loadedFolder(), "");
  startup.writeSettings("[Config]\ndbPath=Ledgerwick.mdb\n");
  EXPECT_EQ(loadedFolder(), "");
  EXPECT_FALSE(optimizeEnabled);
}

TEST_F(StartupFolder, ValueOf300CharactersIsCutTo254First) {
  // 250 characters of folder, then a separator, then a long file name: the cut
  // falls inside the file name, so the folder survives whole.
  const QString folder = "/" + QString(248, 'd') + "/";
  startup.writeSettings(
      "[Config]\ndbPath=" + (folder + QString(300 - folder.size(), 'f')).toUtf8() + "\n");
  EXPECT_EQ(loadedFolder(), folder);
  // When the cut falls inside the last folder name, that name is taken for a
  // file name and lost.
  const QString deep = "/top/" + QString(260, 'x') + "/";
  startup.writeSettings("[Config]\ndbPath=" + (deep + "Ledgerwick.mdb").toUtf8() + "\n");
  EXPECT_EQ(loadedFolder(), "/top/");
}

}  // namespace
