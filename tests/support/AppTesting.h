#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <ostream>

#include "forms/frmMain.h"
#include "modules/Module2.h"
#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/DBEngine.h"
#include "platform/DurableFile.h"
#include "platform/ProgramPath.h"
#include "support/MsgBoxRecorder.h"

// QStrings in failure messages, as text rather than as a list of characters.
inline std::ostream& operator<<(std::ostream& out, const QString& text) {
  return out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QString& text, std::ostream* out) { *out << text; }
inline void PrintTo(const QByteArray& bytes, std::ostream* out) {
  *out << bytes.size() << " bytes \"" << bytes.left(40).toStdString() << '"';
}

// Helpers for the program's tests.
namespace apptest {

inline const char* kPassword = ";pwd=m0ssb4nk7q";

// Runs the event loop until done() holds or ms pass; returns done().
inline bool waitUntil(const std::function<bool()>& done, int ms = 20000) {
  QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// A private config folder and program path for one test: the real
// ~/.config/Ledgerwick.ini and the test's own path never leak into start-up,
// and ending the program is only counted.
class IsolatedStartup {
 public:
  IsolatedStartup() {
    qputenv("XDG_CONFIG_HOME", config().toLocal8Bit());
    platform::setProgramPathHook([this] { return programPath; });
    platform::setEndHook([this] { ++ends; });
  }
  ~IsolatedStartup() {
    qunsetenv("XDG_CONFIG_HOME");
    platform::setProgramPathHook({});
    platform::setEndHook({});
  }
  IsolatedStartup(const IsolatedStartup&) = delete;
  IsolatedStartup& operator=(const IsolatedStartup&) = delete;

  QString root() const { return dir_.path(); }
  QString config() const { return dir_.path() + "/config"; }
  void writeSettings(const QByteArray& contents) const;

  QString programPath = "/nonexistent/bin/ledgerwick-optimizer";
  int ends = 0;

 private:
  QTemporaryDir dir_;
};

// The whole file at path, or nothing when it cannot be read.
inline QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes bytes as the whole file at path; a failed write fails the test.
inline bool writeAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  bool ok = f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size() &&
            f.flush();
  if (!ok) ADD_FAILURE() << "cannot write " << path.toStdString();
  return ok;
}

inline void IsolatedStartup::writeSettings(const QByteArray& contents) const {
  QDir().mkpath(config());
  writeAll(config() + "/Ledgerwick.ini", contents);
}

// Copies a file and makes the copy writable; returns whether it worked.
inline bool copyWritable(const QString& from, const QString& to) {
  QFile::remove(to);
  return QFile::copy(from, to) &&
         QFile::setPermissions(to, QFile::permissions(to) | QFileDevice::WriteOwner);
}

inline QString demoDatabase() { return QString(LW_SOURCE_DIR) + "/demo/Ledgerwick.mdb"; }

// Every name in a folder, hidden ones too, sorted.
inline QStringList listing(const QString& folder) {
  return QDir(folder).entryList(
      QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// A file fault hook that fails one step with err, from the given offset on.
inline platform::FileFaultHook failAt(platform::FileStep step, int err, uint64_t from = 0) {
  return [=](platform::FileStep s, const std::string&, uint64_t offset) {
    return s == step && offset >= from ? err : 0;
  };
}

// Holds a Jet user lock on a lock file from a child process, as another
// program would, until destroyed.
class LockHolder {
 public:
  explicit LockHolder(const QString& ldb) {
    int ready[2];
    if (::pipe(ready) != 0 || ::pipe(release_) != 0) std::abort();
    const QByteArray path = QFile::encodeName(ldb);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(release_[1]);
      const int fd = ::open(path.constData(), O_RDWR | O_CREAT, 0644);
      struct flock l {};
      l.l_type = F_WRLCK;
      l.l_whence = SEEK_SET;
      l.l_start = 0x10000001;
      l.l_len = 1;
      const char ok = fd >= 0 && ::fcntl(fd, F_SETLK, &l) == 0 ? 'y' : 'n';
      (void)!::write(ready[1], &ok, 1);
      char c;
      (void)!::read(release_[0], &c, 1);  // until the parent closes its end
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release_[0]);
    char ok = 'n';
    (void)!::read(ready[0], &ok, 1);
    ::close(ready[0]);
    EXPECT_EQ(ok, 'y') << "could not lock " << ldb.toStdString();
  }
  ~LockHolder() {
    ::close(release_[1]);
    ::waitpid(pid_, nullptr, 0);
  }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

 private:
  pid_t pid_ = -1;
  int release_[2] = {-1, -1};
};

// The main window loaded on a folder of its own, with a private start-up,
// recorded message boxes, a fixed date and ticks only when the test ticks.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Module2::iStage = 0;
    Module2::iTicks = 0;
    Module2::bCompacted = false;
    platform::setClockHook([] { return QDate(2009, 9, 19); });
    w.Form_Load();
    w.Timer1->setInterval(24 * 3600 * 1000);
    w.txtFilePath->setText(folder());
  }
  void TearDown() override {
    w.close();  // a compaction still running ends before its hook goes
    platform::setClockHook({});
    platform::setFileFaultHook({});
    platform::setCompactHook({});
  }

  QString folder() const { return startup.root() + "/"; }
  QString database() const { return folder() + "Ledgerwick.mdb"; }
  QString repaired() const { return folder() + "_Repaired.mdb"; }
  QStringList files() const { return listing(startup.root()); }
  QStringList texts() const {
    QStringList out;
    for (const auto& b : boxes.boxes) out << b.text;
    return out;
  }

  // Presses "Optimize" and waits for the compaction to come back.
  void optimize() {
    w.cmdCompactRepair_Click();
    ASSERT_TRUE(waitUntil([&] { return !w.compactionRunning(); }));
  }
  // Delivers ticks while the timer runs; returns how many it took to stop.
  int ticksUntilTimerStops() {
    int ticks = 0;
    while (w.Timer1->isActive() && ticks < 100) {
      w.Timer1_Timer();
      ++ticks;
    }
    return ticks;
  }

  IsolatedStartup startup;
  MsgBoxRecorder boxes;
  frmMain w;
};

}  // namespace apptest
