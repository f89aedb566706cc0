#include "modules/browseFolder.h"

#include <QObject>

#include "platform/FolderPicker.h"

namespace browseFolder {

QString InitialFolder;

QString SelectFolder(QWidget* owner, const QString& caption, const QString& initialFolder) {
  InitialFolder = initialFolder;
  platform::FolderPicker dialog(owner, caption);
  QObject::connect(&dialog, &platform::FolderPicker::initialized, &dialog,
                   [&dialog] { BrowseCallback(dialog, BrowseEvent::Initialized, {}); });
  QObject::connect(
      &dialog, &platform::FolderPicker::selectionChanged, &dialog,
      [&dialog](const QString& path) { BrowseCallback(dialog, BrowseEvent::SelChanged, path); });
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.currentPath();
}

void BrowseCallback(platform::FolderPicker& dialog, BrowseEvent event, const QString& path) {
  switch (event) {
    case BrowseEvent::Initialized:
      // A folder that is gone is no error: the picker then opens at its default place.
      dialog.setSelection(InitialFolder);
      break;
    case BrowseEvent::SelChanged:
      if (!path.isEmpty()) dialog.setStatusText(path);
      break;
  }
}

}  // namespace browseFolder
