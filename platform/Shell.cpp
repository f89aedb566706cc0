#include "platform/Shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {
namespace {

ShellExecuteHook& hook() {
  static ShellExecuteHook h;
  return h;
}

constexpr int kNoAssociation = 31;  // ShellExecute's SE_ERR_NOASSOC
constexpr int kStarted = 33;

}  // namespace

int ShellExecute(QWidget* parent, const QString& operation, const QString& file,
                 const QString& parameters, const QString& directory, int showCmd) {
  if (hook()) return hook()(parent, operation, file, parameters, directory, showCmd);
  // Only the default action is offered; the desktop picks the handler.
  if (!operation.isEmpty() && operation.compare("open", Qt::CaseInsensitive) != 0) {
    return kNoAssociation;
  }
  const QUrl url(file);
  if (!url.isValid()) return kNoAssociation;
  return QDesktopServices::openUrl(url) ? kStarted : kNoAssociation;
}

void setShellExecuteHook(ShellExecuteHook h) { hook() = std::move(h); }

}  // namespace platform
