#pragma once

#include <QString>
#include <QWidget>
#include <atomic>
#include <memory>
#include <thread>

#include "platform/ImageControl.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

// The main window: the folder box, the buttons of the optimize sequence, the
// status line, the progress bar, the timer and the skin pieces of its frame.
// Construction builds every control at its design state; Form_Load() is the
// load handler, which main() runs before the window is first shown.
class frmMain : public QWidget {
  Q_OBJECT
 public:
  explicit frmMain(QWidget* parent = nullptr);
  ~frmMain() override;

  // Controls, each also found by its objectName.
  QLineEdit* txtFilePath = nullptr;
  QPushButton* Command1 = nullptr;
  QPushButton* cmdCompactRepair = nullptr;
  QPushButton* cmdExit = nullptr;
  QPushButton* cmdYes = nullptr;
  QPushButton* cmdNo = nullptr;
  QLabel* lblProgress = nullptr;
  platform::ImageControl* lblTitle = nullptr;
  QProgressBar* ProgressBar = nullptr;
  QTimer* Timer1 = nullptr;
  platform::ImageControl* imgTitleLeft = nullptr;
  platform::ImageControl* imgTitleMain = nullptr;
  platform::ImageControl* imgTitleRight = nullptr;
  platform::ImageControl* imgTitleClose = nullptr;
  platform::ImageControl* imgTitleHelp = nullptr;
  platform::ImageControl* imgTitleMinimize = nullptr;
  platform::ImageControl* imgWindowLeft = nullptr;
  platform::ImageControl* imgWindowRight = nullptr;
  platform::ImageControl* imgWindowBottom = nullptr;
  platform::ImageControl* imgWindowBottomLeft = nullptr;
  platform::ImageControl* imgWindowBottomRight = nullptr;

  // True while a compaction started by "Optimize" has not yet been finished on
  // the window's thread.
  bool compactionRunning() const { return worker_ != nullptr; }

  // The folder "Browse" opens on for a given folder text: the text up to its
  // last separator, a separator in first place excepted; else the whole text.
  static QString BrowseStartFolder(const QString& folderText);

 public slots:
  void Form_Load();
  void cmdCompactRepair_Click();
  void Timer1_Timer();
  void cmdYes_Click();
  void cmdNo_Click();
  void cmdExit_Click();
  void Command1_Click();
  void txtFilePath_Change();
  void txtFilePath_LostFocus();

  // The title bar (forms/frmMainTitleBar.cpp).
  void imgTitleClose_Click();
  void imgTitleHelp_Click();
  void imgTitleMinimize_Click();
  void imgTitleLeft_MouseDown(int button, int shift, float x, float y);
  void imgTitleMain_MouseDown(int button, int shift, float x, float y);
  void imgTitleRight_MouseDown(int button, int shift, float x, float y);
  void lblTitle_MouseDown(int button, int shift, float x, float y);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Compaction;

  void createControls();
  void connectHandlers();
  void startCompaction(const QString& source, const QString& destination);
  void compactionDone();
  static QString errorText(int number, const QString& description, const QString& source);
  void stopCompaction();
  void returnToIdle();
  double barCeiling() const;

  std::unique_ptr<Compaction> worker_;
};
