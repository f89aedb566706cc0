#pragma once

#include <QWidget>

// The main window (placeholder until the window lands).
class frmMain : public QWidget {
  Q_OBJECT
 public:
  explicit frmMain(QWidget* parent = nullptr);
};
