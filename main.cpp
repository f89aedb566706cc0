#include <QApplication>

#include "forms/frmMain.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Ledgerwick Optimizer");
  frmMain w;
  w.Form_Load();
  w.show();
  // Without a window manager nothing would take the keyboard otherwise.
  w.activateWindow();
  return app.exec();
}
