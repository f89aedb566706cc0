#include "modules/Module2.h"

#include <QLineEdit>

#include "forms/frmMain.h"
#include "modules/fileReady.h"
#include "platform/PrivateProfile.h"
#include "platform/ProgramPath.h"

namespace Module2 {

platform::Int16 iStage;
platform::Int16 iTicks;
bool bCompacted = false;

namespace {

constexpr int kPathCapacity = 999;
constexpr int kValueBuffer = 255;
const QString kFallbackSettings = "Ledgerwick.ini";

}  // namespace

QString SettingsFileName() {
  QString path;
  const int n = platform::GetModuleFileName(path, kPathCapacity);
  if (n < 4) return kFallbackSettings;
  path.truncate(n);
  // Replace the extension of the file name (not of a folder), or append one.
  const int slash = static_cast<int>(path.lastIndexOf('/'));
  const int dot = static_cast<int>(path.lastIndexOf('.'));
  const QString candidate = (dot > slash + 1 ? path.left(dot) : path) + ".ini";
  return fileReady::FileExists(candidate) ? candidate : kFallbackSettings;
}

QString FolderOfDbPath(const QString& value) {
  qsizetype p = value.lastIndexOf('/') + 1;  // 1-based; 0 when there is none
  if (p == 0) return QString();
  if (p >= 2 && value.at(p - 2) == '/') --p;
  return value.left(p);
}

void LoadDbPath(frmMain& form) {
  QString buffer;
  const int k = platform::GetPrivateProfileString("Config", "dbPath", "", buffer, kValueBuffer,
                                                  SettingsFileName());
  const QString value = buffer.left(k);
  if (value.isEmpty()) return;
  const QString folder = FolderOfDbPath(value);
  if (!folder.isEmpty()) form.txtFilePath->setText(folder);
}

}  // namespace Module2
