#include <QApplication>

#include "forms/frmMain.h"
#include "jet/Engine.h"

int main(int argc, char* argv[]) {
  // A signal during Optimize then removes the engine's named temporary file.
  jet::installSignalCleanup();
  QApplication app(argc, argv);
  QApplication::setApplicationName("Ledgerwick Optimizer");
  // Lets the desktop match the window with its entry and icon.
  QApplication::setDesktopFileName(LW_APP_ID);
  frmMain w;
  w.Form_Load();
  w.show();
  // Without a window manager nothing would take the keyboard otherwise.
  w.activateWindow();
  return app.exec();
}
