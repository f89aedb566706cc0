#pragma once

#include <QString>

class QWidget;

// The modal folder picker.
namespace browseFolder {

// The folder preselected when the picker opens.
extern QString InitialFolder;

// Returns the chosen folder's full path, or an empty string when cancelled.
QString SelectFolder(QWidget* owner, const QString& caption, const QString& initialFolder);

}  // namespace browseFolder
