#include "forms/frmMain.h"

frmMain::frmMain(QWidget* parent) : QWidget(parent) { setObjectName("frmMain"); }
