#include "forms/frmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cmath>

#include "jet/Error.h"
#include "modules/BackupName.h"
#include "modules/Module1.h"
#include "modules/Module2.h"
#include "modules/Module3.h"
#include "modules/browseFolder.h"
#include "modules/fileReady.h"
#include "modules/modBackup.h"
#include "platform/Application.h"
#include "platform/DBEngine.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/RuntimeError.h"
#include "platform/SkipTaskbar.h"

namespace {

const QString kSourceConnect = ";pwd=m0ssb4nk7q";
const QString kBrowseCaption = "Locate folder containing Ledgerwick database";

// Design geometry is in twips; children are placed in pixels of this screen.
double twipsPerPixel() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
  return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

int toPixels(int twips) { return static_cast<int>(std::nearbyint(twips / twipsPerPixel())); }

void place(QWidget* w, int left, int top, int width, int height) {
  w->setGeometry(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

// Skin pieces wait right of the visible area until the layout places them.
constexpr int kParkedLeft = 10080;

// An error a handler does not expect ends the program after telling the user.
template <class F>
void runHandler(F&& handler) {
  try {
    handler();
  } catch (const platform::RuntimeError& e) {
    platform::ReportFatal(e.number(), e.description());
  }
}

}  // namespace

// One compaction on its worker thread. The result is read on the window's
// thread only after the worker has been joined; the fraction done is read by
// the ticks while it runs.
struct frmMain::Compaction {
  std::thread thread;
  std::atomic<bool> cancel{false};
  std::atomic<double> fraction{0.0};
  QString source;
  QString destination;
  int errorNumber = 0;
  QString errorDescription;
  unsigned generation = 0;
};

static_assert(std::atomic<double>::is_always_lock_free, "the engine's callback takes no lock");

namespace {
unsigned nextGeneration = 0;
}

frmMain::frmMain(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  setObjectName("frmMain");
  setWindowTitle("Ledgerwick database optimization utility");
  setFixedSize(toPixels(7410), toPixels(2760));
  createControls();
  connectHandlers();
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->geometry().center() - QPoint(width() / 2, height() / 2));
  platform::SkipTaskbar(*this);
}

frmMain::~frmMain() { stopCompaction(); }

void frmMain::createControls() {
  auto image = [this](platform::ImageControl*& member, const char* name, int w, int h,
                      bool scaled) {
    member = new platform::ImageControl(this);
    member->setObjectName(name);
    member->setScaledContents(scaled);
    place(member, kParkedLeft, 0, w, h);
  };
  // Created bottom-most first: later siblings stack above earlier ones.
  image(imgTitleLeft, "imgTitleLeft", 285, 450, false);
  image(imgTitleRight, "imgTitleRight", 285, 450, false);
  image(imgWindowBottomLeft, "imgWindowBottomLeft", 285, 450, false);
  image(imgWindowBottomRight, "imgWindowBottomRight", 285, 450, false);
  image(imgTitleMain, "imgTitleMain", 285, 450, true);
  image(imgWindowBottom, "imgWindowBottom", 285, 450, true);
  image(imgWindowLeft, "imgWindowLeft", 285, 450, true);
  image(imgWindowRight, "imgWindowRight", 285, 450, true);

  lblTitle = new platform::ImageControl(this);
  lblTitle->setObjectName("lblTitle");
  lblTitle->setText("Ledgerwick Database Optimizer");
  QFont titleFont;
  titleFont.setFamilies({"Arial", "Liberation Sans", "Arimo", "DejaVu Sans Condensed"});
  titleFont.setPointSizeF(9.75);
  titleFont.setWeight(QFont::Bold);
  lblTitle->setFont(titleFont);
  QPalette titlePalette = lblTitle->palette();
  titlePalette.setColor(QPalette::WindowText, QColor(255, 255, 255));
  lblTitle->setPalette(titlePalette);
  place(lblTitle, kParkedLeft, 0, 3120, 240);

  lblProgress = new QLabel(this);
  lblProgress->setObjectName("lblProgress");
  lblProgress->setText("Click browse to locate your database folder, then click OPTIMIZE.");
  lblProgress->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  QFont statusFont;
  // The design font is a Windows bitmap font; these fall back to ones of like width.
  statusFont.setFamilies(
      {"MS Sans Serif", "Liberation Sans", "Arial", "Arimo", "DejaVu Sans Condensed"});
  statusFont.setPointSizeF(12);
  statusFont.setWeight(QFont::Normal);
  lblProgress->setFont(statusFont);
  place(lblProgress, 0, 1920, 7455, 375);

  image(imgTitleHelp, "imgTitleHelp", 195, 195, false);
  image(imgTitleClose, "imgTitleClose", 195, 195, false);
  image(imgTitleMinimize, "imgTitleMinimize", 195, 195, false);
  place(imgTitleMinimize, 10080, 2400, 195, 195);

  // Windowed controls lie above every image and label.
  txtFilePath = new QLineEdit(this);
  txtFilePath->setObjectName("txtFilePath");
  place(txtFilePath, 600, 720, 5535, 375);

  ProgressBar = new QProgressBar(this);
  ProgressBar->setObjectName("ProgressBar");
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  ProgressBar->setTextVisible(false);
  place(ProgressBar, -120, 2400, 7575, 375);

  auto button = [this](QPushButton*& member, const char* name, const char* caption, int l, int t,
                       int w, int h) {
    member = new QPushButton(caption, this);
    member->setObjectName(name);
    member->setAutoDefault(false);
    place(member, l, t, w, h);
  };
  button(cmdCompactRepair, "cmdCompactRepair", "&Optimize", 1320, 1440, 1455, 375);
  button(cmdExit, "cmdExit", "E&xit", 4680, 1440, 1455, 375);
  button(Command1, "Command1", "&Browse", 6240, 800, 975, 255);
  button(cmdYes, "cmdYes", "&Yes", 1320, 1440, 1455, 375);
  button(cmdNo, "cmdNo", "&No", 4680, 1440, 1455, 375);
  cmdYes->hide();
  cmdNo->hide();

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(400);

  setTabOrder(txtFilePath, cmdCompactRepair);
  setTabOrder(cmdCompactRepair, cmdExit);
  setTabOrder(cmdExit, Command1);
  setTabOrder(Command1, cmdYes);
  setTabOrder(cmdYes, cmdNo);
  txtFilePath->setFocus(Qt::OtherFocusReason);
}

void frmMain::connectHandlers() {
  auto slot = [this](void (frmMain::*handler)()) {
    return [this, handler] { runHandler([&] { (this->*handler)(); }); };
  };
  connect(cmdCompactRepair, &QPushButton::clicked, this, slot(&frmMain::cmdCompactRepair_Click));
  connect(cmdExit, &QPushButton::clicked, this, slot(&frmMain::cmdExit_Click));
  connect(cmdYes, &QPushButton::clicked, this, slot(&frmMain::cmdYes_Click));
  connect(cmdNo, &QPushButton::clicked, this, slot(&frmMain::cmdNo_Click));
  connect(Command1, &QPushButton::clicked, this, slot(&frmMain::Command1_Click));
  connect(Timer1, &QTimer::timeout, this, slot(&frmMain::Timer1_Timer));
  connect(txtFilePath, &QLineEdit::textChanged, this, slot(&frmMain::txtFilePath_Change));
  txtFilePath->installEventFilter(this);

  connect(imgTitleClose, &platform::ImageControl::Click, this, slot(&frmMain::imgTitleClose_Click));
  connect(imgTitleHelp, &platform::ImageControl::Click, this, slot(&frmMain::imgTitleHelp_Click));
  connect(imgTitleMinimize, &platform::ImageControl::Click, this,
          slot(&frmMain::imgTitleMinimize_Click));
  connect(imgTitleLeft, &platform::ImageControl::MouseDown, this, &frmMain::imgTitleLeft_MouseDown);
  connect(imgTitleMain, &platform::ImageControl::MouseDown, this, &frmMain::imgTitleMain_MouseDown);
  connect(imgTitleRight, &platform::ImageControl::MouseDown, this,
          &frmMain::imgTitleRight_MouseDown);
  connect(lblTitle, &platform::ImageControl::MouseDown, this, &frmMain::lblTitle_MouseDown);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == txtFilePath && event->type() == QEvent::FocusOut) {
    // Lost focus means focus moving to another control of this window; a
    // message box or another application taking activation is not that.
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    const QWidget* next = QApplication::focusWidget();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && next &&
        next != txtFilePath && next->window() == this)
      runHandler([this] { txtFilePath_LostFocus(); });
  }
  return QWidget::eventFilter(watched, event);
}

void frmMain::closeEvent(QCloseEvent* event) {
  stopCompaction();
  QWidget::closeEvent(event);
}

void frmMain::Form_Load() {
  lblTitle->setText(QString("Ledgerwick Optimizer v%1.%2.%3")
                        .arg(platform::AppMajor())
                        .arg(platform::AppMinor())
                        .arg(platform::AppRevision()));
  lblTitle->adjustSize();
  ProgressBar->setMinimum(0);
  ProgressBar->setMaximum(100);
  if (txtFilePath->text().isEmpty()) cmdCompactRepair->setEnabled(false);
  Module1::ApplySkin(*this);
  Module2::LoadDbPath(*this);
}

void frmMain::cmdCompactRepair_Click() {
  Command1->setEnabled(false);
  cmdCompactRepair->setEnabled(false);
  cmdExit->setEnabled(false);
  if (compactionRunning()) return;  // one run at a time
  Module2::bCompacted = false;
  const QString source = txtFilePath->text() + "Ledgerwick.mdb";
  const QString destination = txtFilePath->text() + "_Repaired.mdb";
  lblProgress->setText("Optimizing Database");

  if (fileReady::FileExists(destination)) {
    platform::DeleteFile(destination);  // a failure shows as the file still being there
    if (fileReady::FileExists(destination)) {
      platform::MsgBox("Please remove " + destination + " before continuing", platform::vbOKOnly,
                       "Error");
      Command1->setEnabled(true);
      cmdCompactRepair->setEnabled(true);
      cmdExit->setEnabled(true);
      return;
    }
  }
  Module2::iStage = 1;
  txtFilePath->setReadOnly(true);  // the run's folder stays what was compacted
  Timer1->start();
  Module3::NoteCompactionStart(source);
  startCompaction(source, destination);
}

void frmMain::startCompaction(const QString& source, const QString& destination) {
  auto job = std::make_unique<Compaction>();
  job->source = source;
  job->destination = destination;
  job->generation = ++nextGeneration;
  Compaction* c = job.get();
  worker_ = std::move(job);
  c->thread = std::thread([this, c] {
    platform::DBEngine engine;
    engine.setProgress([c](double fraction) {
      c->fraction.store(fraction, std::memory_order_relaxed);
      return !c->cancel.load();
    });
    try {
      engine.CompactDatabase(c->source, c->destination, std::nullopt, std::nullopt, kSourceConnect);
      c->fraction.store(1.0, std::memory_order_relaxed);  // done, even if never said
    } catch (const jet::Error& e) {
      c->errorNumber = e.number();
      c->errorDescription = QString::fromStdString(e.description());
    } catch (const std::exception& e) {
      c->errorNumber = 51;
      c->errorDescription = QString("Internal error: ") + e.what();
    } catch (...) {
      c->errorNumber = 51;
      c->errorDescription = "Internal error";
    }
    const unsigned generation = c->generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
          if (worker_ && worker_->generation == generation) compactionDone();
        },
        Qt::QueuedConnection);
  });
}

void frmMain::compactionDone() {
  worker_->thread.join();
  std::unique_ptr<Compaction> c = std::move(worker_);
  if (c->errorNumber == 0) {
    Module3::RememberCompaction(c->source, c->destination);
    Module2::bCompacted = true;
    return;
  }
  // An engine failure does not end the program: the window goes back to where
  // a new run can start. Nothing is deleted: a failed compaction leaves nothing
  // at the destination, so whatever is there now belongs to someone else.
  returnToIdle();
  lblProgress->setText("Optimization failed");
  platform::MsgBox(errorText(c->errorNumber, c->errorDescription, c->source), platform::vbOKOnly,
                   "Error");
}

// Damage the engine will not mend names its table and page; the user is told
// what became of the database and how to copy what can still be read, with
// the newest dated backup beside it standing in for lost structures.
QString frmMain::errorText(int number, const QString& description, const QString& source) {
  QString text = QString("Error %1: %2").arg(number).arg(description);
  if (number != 3049 && number != 3343) return text;
  const QString folder = source.left(source.lastIndexOf('/') + 1);
  const QString backup = BackupName::Newest(platform::FileNames(folder.isEmpty() ? "." : folder));
  if (!description.contains("cannot mend safely") && backup.isEmpty()) return text;
  const auto quoted = [](QString path) { return "'" + path.replace("'", "'\\''") + "'"; };
  text +=
      " The database was not changed. To copy the rows that can still be read into a new "
      "file, with a list of those that cannot, run: jetdb compact --salvage " +
      quoted(source) + " " + quoted(folder + "Salvaged.mdb");
  if (!backup.isEmpty()) text += " --template " + quoted(folder + backup);
  return text;
}

void frmMain::stopCompaction() {
  if (!worker_) return;
  // The engine asks the progress callback several times a second and unwinds,
  // removing its temporary file, at the first false.
  worker_->cancel = true;
  if (worker_->thread.joinable()) worker_->thread.join();
  worker_.reset();
}

void frmMain::returnToIdle() {
  Timer1->stop();
  ProgressBar->setValue(0);
  cmdYes->hide();
  cmdNo->hide();
  cmdCompactRepair->show();
  cmdExit->show();
  Command1->setEnabled(true);
  cmdCompactRepair->setEnabled(true);
  cmdExit->setEnabled(true);
  txtFilePath->setReadOnly(false);
}

// A long compaction holds the bar at the share of the source the engine has
// read, so a full bar means the copy is nearly made.
double frmMain::barCeiling() const {
  if (!worker_) return ProgressBar->maximum();
  return worker_->fraction.load(std::memory_order_relaxed) * ProgressBar->maximum();
}

void frmMain::Timer1_Timer() {
  using Module2::iStage;
  using Module2::iTicks;
  if (iStage == 1) {
    ProgressBar->setVisible(true);
    if (ProgressBar->value() < 100) {
      if (ProgressBar->value() + 10 <= barCeiling())
        ProgressBar->setValue(ProgressBar->value() + 10);
    } else if (Module2::bCompacted) {
      ProgressBar->setValue(0);
      lblProgress->setText("Optimization Complete");
      iStage = 2;
      iTicks = 0;
    }
    cmdYes->setEnabled(true);
    cmdNo->setEnabled(true);
  }
  if (iStage == 2) {
    iTicks += 1;
    if (iTicks > 4) {
      Timer1->stop();
      lblProgress->setText("Back-up original database file?");
      cmdCompactRepair->setVisible(false);
      cmdExit->setVisible(false);
      cmdYes->setVisible(true);
      cmdNo->setVisible(true);
    }
    cmdYes->setEnabled(true);
    cmdNo->setEnabled(true);
  }
  if (iStage == 3) {
    iTicks += 1;
    if (iTicks > 4) {
      Timer1->stop();
      lblProgress->setText("Overwrite Ledgerwick.mdb with Repaired.mdb?");
      cmdYes->setEnabled(true);
      cmdNo->setEnabled(true);
    }
  }
}

void frmMain::cmdYes_Click() {
  cmdYes->setEnabled(false);
  cmdNo->setEnabled(false);
  if (Module2::iStage == 2) {
    modBackup::BackupDatabase(*this);
  } else if (Module2::iStage == 3) {
    lblProgress->setText(QString());
    Module3::ReplaceDatabase(*this);
    cmdYes->setVisible(false);
    cmdNo->setVisible(false);
    cmdCompactRepair->setVisible(true);
    cmdExit->setVisible(true);
    Command1->setEnabled(true);
    cmdExit->setEnabled(true);
    txtFilePath->setReadOnly(false);
  }
}

void frmMain::cmdNo_Click() {
  cmdYes->setEnabled(false);
  cmdNo->setEnabled(false);
  if (Module2::iStage == 2) {
    Module2::iStage = 3;
    Module2::iTicks = 4;
    Timer1->start();
  } else if (Module2::iStage == 3) {
    platform::MsgBox("Process complete.  Repaired db is named _Repaired.mdb");
    lblProgress->setText(QString());
    cmdYes->setVisible(false);
    cmdNo->setVisible(false);
    cmdYes->setEnabled(true);
    cmdNo->setEnabled(true);
    cmdCompactRepair->setVisible(true);
    cmdExit->setVisible(true);
    Command1->setEnabled(true);
    cmdExit->setEnabled(true);
    txtFilePath->setReadOnly(false);
  }
}

void frmMain::cmdExit_Click() { platform::End(); }

void frmMain::txtFilePath_Change() { cmdCompactRepair->setEnabled(!txtFilePath->text().isEmpty()); }

void frmMain::txtFilePath_LostFocus() { txtFilePath_Change(); }

QString frmMain::BrowseStartFolder(const QString& text) {
  for (qsizetype i = text.size(); i >= 2; --i)
    if (text.at(i - 1) == '/') return text.left(i - 1);
  return text;
}

void frmMain::Command1_Click() {
  const QString chosen =
      browseFolder::SelectFolder(this, kBrowseCaption, BrowseStartFolder(txtFilePath->text()));
  if (chosen.isEmpty()) return;
  txtFilePath->setText(chosen + "/");
  cmdCompactRepair->setEnabled(fileReady::FileExists(chosen + "/Ledgerwick.mdb"));
}
