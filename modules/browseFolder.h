#pragma once

#include <QString>

class QWidget;

namespace platform {
class FolderPicker;
}

// The folder picker: a modal chooser that opens on a given folder and shows the full path of
// the highlighted folder in its status line.
namespace browseFolder {

// The folder highlighted when the picker opens: set by every SelectFolder call, kept after it.
extern QString InitialFolder;

// Shows the picker over `owner` with `caption` above the folder tree and `initialFolder`
// highlighted. Returns the accepted folder's path (no trailing "/" except for the root "/"), or
// "" when the user cancels or closes the picker.
QString SelectFolder(QWidget* owner, const QString& caption, const QString& initialFolder);

// What the picker reports while it runs.
enum class BrowseEvent { Initialized, SelChanged };

// The picker's handler: highlights InitialFolder when the picker is ready, and puts the path of
// every newly highlighted folder in the status line. An item without a path changes nothing.
void BrowseCallback(platform::FolderPicker& dialog, BrowseEvent event, const QString& path);

}  // namespace browseFolder
