#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <functional>

#include "platform/Application.h"
#include "platform/ProgramPath.h"

// Helpers for the main window's tests.
namespace apptest {

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
    oldConfig_ = qgetenv("XDG_CONFIG_HOME");
    hadConfig_ = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config().toLocal8Bit());
    platform::setProgramPathHook([this] { return programPath; });
    platform::setEndHook([this] { ++ends; });
  }
  ~IsolatedStartup() {
    if (hadConfig_)
      qputenv("XDG_CONFIG_HOME", oldConfig_);
    else
      qunsetenv("XDG_CONFIG_HOME");
    platform::setProgramPathHook({});
    platform::setEndHook({});
  }
  IsolatedStartup(const IsolatedStartup&) = delete;
  IsolatedStartup& operator=(const IsolatedStartup&) = delete;

  QString root() const { return dir_.path(); }
  QString config() const { return dir_.path() + "/config"; }

  // Writes config()/Ledgerwick.ini with the given contents.
  void writeSettings(const QByteArray& contents) const {
    QDir().mkpath(config());
    QFile f(config() + "/Ledgerwick.ini");
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(contents);
  }

  QString programPath = "/nonexistent/bin/ledgerwick-optimizer";
  int ends = 0;

 private:
  QTemporaryDir dir_;
  QByteArray oldConfig_;
  bool hadConfig_ = false;
};

// Copies a file and makes the copy writable; returns whether it worked.
inline bool copyWritable(const QString& from, const QString& to) {
  QFile::remove(to);
  if (!QFile::copy(from, to)) return false;
  return QFile::setPermissions(to, QFile::permissions(to) | QFileDevice::WriteOwner);
}

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

inline QString demoDatabase() { return QString(LW_SOURCE_DIR) + "/demo/Ledgerwick.mdb"; }

}  // namespace apptest
