#include "forms/frmAbout.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QWindow>
#include <cmath>

#include "classes/GradientRect.h"
#include "platform/Application.h"
#include "platform/Shell.h"
#include "platform/SkipTaskbar.h"
#include "platform/SysColor.h"

static void initAboutResources() { Q_INIT_RESOURCE(about); }

namespace {

// The window is designed in twips, 15 to the pixel at 96 dots per inch.
int px(int twips) { return static_cast<int>(std::nearbyint(twips / 15.0)); }

QColor fromColorRef(platform::COLORREF c) {
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

QFont defaultFont() {
  QFont f;
  f.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans", "DejaVu Sans"});
  f.setPointSizeF(8.25);
  return f;
}

QFont titleFont() {
  QFont f;
  f.setFamilies({"Tahoma", "Liberation Sans", "DejaVu Sans"});
  f.setPointSizeF(18);
  f.setBold(true);
  return f;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int left, int top,
                  int width, int height) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setGeometry(px(left), px(top), px(width), px(height));
  label->setFont(defaultFont());
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setTextFormat(Qt::PlainText);
  label->setFocusPolicy(Qt::NoFocus);
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, fromColorRef(platform::GetSysColor(platform::COLOR_BTNTEXT)));
  label->setPalette(pal);
  return label;
}

void setTextColor(QLabel* label, const QColor& color) {
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, color);
  label->setPalette(pal);
}

// The notices sit on the window's centre line; a text wider than its design
// box widens the box on both sides so that it stays centred.
void centreOnWindow(QLabel* label) {
  const int width = std::max(label->width(), label->sizeHint().width());
  const int centre = px(5880) / 2;
  label->setGeometry(centre - width / 2, label->y(), width, label->height());
}

// The window's own icon: a round badge with a lower-case i.
QIcon badgeIcon() {
  QPixmap pm(32, 32);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0, 0, 128), 2));
  p.setBrush(QColor(64, 96, 192));
  p.drawEllipse(QRectF(2, 2, 28, 28));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(14, 7, 4, 4));
  p.drawRect(QRectF(14, 13, 4, 12));
  return QIcon(pm);
}

}  // namespace

const QString frmAbout::kWebsite = "https://ledgerwick.example/";
const QString frmAbout::kSupportMail = "support@ledgerwick.example";

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      window_(this),
      surface_(px(5880), px(3435), QImage::Format_RGB32),
      surfaceDc_(&surface_) {
  initAboutResources();
  setObjectName("frmAbout");
  setWindowTitle("About Ledgerwick Optimizer");
  setWindowIcon(badgeIcon());
  setFixedSize(px(5880), px(3435));
  setModal(true);
  surface_.fill(fromColorRef(platform::GetSysColor(platform::COLOR_BTNFACE)));

  // Created in the stored order; all are transparent, so it does not show.
  Label3 = makeLabel(this, "Label3", "All rights reserved.", 2212, 3120, 1455, 255);
  Label8 = makeLabel(this, "Label8", "Ledgerwick Optimizer is a trademark of its developers.", 832,
                     2880, 4215, 255);
  Label6 = makeLabel(this, "Label6", kWebsite, 2325, 1800, 2055, 195);
  Line1 = new QWidget(this);
  Line1->setObjectName("Line1");
  Line1->setGeometry(px(120), px(960), px(5760) - px(120), 1);
  Line1->setAutoFillBackground(true);
  QPalette linePal = Line1->palette();
  linePal.setColor(QPalette::Window, Qt::black);
  Line1->setPalette(linePal);
  Label1 =
      makeLabel(this, "Label1", "Database Optimization and Repair Utility", 120, 1080, 5175, 255);
  Label2 = makeLabel(this, "Label2", "Copyright \u00A9 2026 the Ledgerwick Optimizer developers.",
                     1852, 2640, 2175, 255);
  Label4 = makeLabel(this, "Label4", "Website:", 1485, 1800, 735, 255);
  Label5 = makeLabel(this, "Label5", "E-mail:", 1485, 2040, 735, 255);
  Label7 = makeLabel(this, "Label7", kSupportMail, 2325, 2040, 1875, 195);
  lblTitle = makeLabel(this, "lblTitle", "Ledgerwick Optimizer", 90, 120, 4365, 480);
  lblVersion = makeLabel(this, "lblVersion", "Version", 90, 600, 4845, 225);

  lblTitle->setFont(titleFont());
  setTextColor(lblTitle, Qt::black);
  Label4->setAlignment(Qt::AlignRight | Qt::AlignTop);
  Label5->setAlignment(Qt::AlignRight | Qt::AlignTop);
  for (QLabel* notice : {Label2, Label8, Label3}) centreOnWindow(notice);

  const QCursor hand(QPixmap(":/about/hand.png"), 12, 1);
  for (QLabel* link : {Label6, Label7}) {
    QFont f = defaultFont();
    f.setUnderline(true);
    link->setFont(f);
    setTextColor(link, fromColorRef(0xC00000));
    link->adjustSize();  // link labels fit their text
    link->setCursor(hand);
    link->installEventFilter(this);
  }
}

frmAbout::~frmAbout() = default;

QString frmAbout::VersionText(int major, int minor, int revision) {
  return QString("Version %1.%2.%3").arg(major).arg(minor).arg(revision);
}

void frmAbout::setAutoRedraw(bool on) {
  autoRedraw_ = on;
  update();
}

void frmAbout::Form_Load() {
  setAutoRedraw(true);
  if (!gradient_) gradient_ = std::make_unique<clsGradient>();
  gradient_->setAngle(158);
  gradient_->setColor1(0x7A453F);
  gradient_->setColor2(0xDCC0C2);
  gradient_->Draw(this);
  update();
  lblVersion->setText(
      VersionText(platform::AppMajor(), platform::AppMinor(), platform::AppRevision()));
}

void frmAbout::OpenLink(const QString& target) {
  // Whatever the shell answers, the window stays as it is.
  platform::ShellExecute(this, QString(), target, QString(), QDir::rootPath(),
                         platform::SW_SHOWNORMAL);
}

void frmAbout::Label6_Click() { OpenLink(kWebsite); }

void frmAbout::Label7_Click() { OpenLink("mailto:" + kSupportMail); }

void frmAbout::showEvent(QShowEvent* event) {
  if (!loaded_) {
    loaded_ = true;
    platform::SkipTaskbar(*this);  // the native window is not mapped yet
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      // Centre the outer frame where the platform knows it already.
      const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
      const QSize outer = size().grownBy(frame);
      const QRect area = screen->availableGeometry();
      move(area.center() - QPoint((outer.width() - 1) / 2, (outer.height() - 1) / 2));
    }
    Form_Load();
  }
  QDialog::showEvent(event);
}

void frmAbout::hideEvent(QHideEvent* event) {
  // Closing unloads the window; the next opening loads it again.
  if (!event->spontaneous()) loaded_ = false;
  QDialog::hideEvent(event);
}

void frmAbout::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  if (!autoRedraw_) return;
  QPainter painter(this);
  painter.drawImage(0, 0, surface_);
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label6 || watched == Label7) {
    auto* label = static_cast<QLabel*>(watched);
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      pressed_ = watched;
    } else if (event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      // A click is a press and a release on the same label.
      const bool inside =
          label->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint());
      const bool click = pressed_ == watched && inside;
      pressed_ = nullptr;
      if (click) {
        if (watched == Label6)
          Label6_Click();
        else
          Label7_Click();
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}
