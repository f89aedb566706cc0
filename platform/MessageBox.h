#pragma once

#include <QString>
#include <functional>

namespace platform {

// Message box styles the program uses.
enum MsgBoxStyle { vbOKOnly = 0, vbExclamation = 48 };

// A modal message box: text, style (0 OK only, 48 OK with the warning icon) and
// an optional title (empty: the application's title). Returns the button
// pressed (1 = OK). Tests install a hook so that no box ever blocks.
int MsgBox(const QString& text, int style = 0, const QString& title = QString());

using MsgBoxHook = std::function<int(const QString& text, int style, const QString& title)>;

// Replaces the modal box; an empty hook restores it.
void setMsgBoxHook(MsgBoxHook hook);

}  // namespace platform
