#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace platform {

constexpr int SW_SHOWNORMAL = 1;

// Starts the desktop's default handler for `file`, a web address or a
// "mailto:" link, the way ShellExecute does with no operation. Returns a value
// above 32 when a handler was started, as ShellExecute does; the handler may
// still fail later, which nobody hears of. Never throws.
int ShellExecute(QWidget* parent, const QString& operation, const QString& file,
                 const QString& parameters, const QString& directory, int showCmd);

using ShellExecuteHook =
    std::function<int(QWidget* parent, const QString& operation, const QString& file,
                      const QString& parameters, const QString& directory, int showCmd)>;

// Replaces the desktop call (tests); an empty hook restores it.
void setShellExecuteHook(ShellExecuteHook hook);

}  // namespace platform
