#include "modules/browseFolder.h"

#include <QFileDialog>

namespace browseFolder {

QString InitialFolder;

// Interim: the toolkit's own folder dialog.
QString SelectFolder(QWidget* owner, const QString& caption, const QString& initialFolder) {
  InitialFolder = initialFolder;
  return QFileDialog::getExistingDirectory(owner, caption, initialFolder);
}

}  // namespace browseFolder
