// The title bar's handlers: close, help, minimize and moving the window.
#include "forms/frmMain.h"
#include "modules/modDrag.h"
#include "platform/Application.h"

void frmMain::imgTitleClose_Click() {
  close();
  platform::End();
}

void frmMain::imgTitleHelp_Click() {}

void frmMain::imgTitleMinimize_Click() { showMinimized(); }

void frmMain::imgTitleLeft_MouseDown(int, int, float, float) { modDrag::DragForm(*this); }

void frmMain::imgTitleMain_MouseDown(int, int, float, float) { modDrag::DragForm(*this); }

void frmMain::imgTitleRight_MouseDown(int, int, float, float) { modDrag::DragForm(*this); }

void frmMain::lblTitle_MouseDown(int, int, float, float) { modDrag::DragForm(*this); }
