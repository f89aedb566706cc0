// The title bar's handlers: close, help, minimize and moving the window.
#include "forms/frmAbout.h"
#include "forms/frmMain.h"
#include "modules/modDrag.h"
#include "platform/Application.h"

void frmMain::imgTitleClose_Click() {
  // Unload first, so a running compaction is stopped and cleaned up by the
  // close handling; then the program ends.
  close();
  platform::End();
}

void frmMain::imgTitleHelp_Click() {
  // Modal and without an owner; returns when the About window closes.
  frmAbout dlg;
  dlg.exec();
}

void frmMain::imgTitleMinimize_Click() { showMinimized(); }

// Any button on any title element starts the move; the arguments are unused.
void frmMain::imgTitleLeft_MouseDown(int, int, float, float) { modDrag::DragForm(*this); }

void frmMain::imgTitleMain_MouseDown(int, int, float, float) { modDrag::DragForm(*this); }

void frmMain::imgTitleRight_MouseDown(int, int, float, float) { modDrag::DragForm(*this); }

void frmMain::lblTitle_MouseDown(int, int, float, float) { modDrag::DragForm(*this); }
