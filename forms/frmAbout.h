#pragma once

#include <QDialog>
#include <QImage>
#include <memory>

#include "platform/DeviceContext.h"
#include "platform/DeviceContextImage.h"
#include "platform/DeviceContextWidget.h"

class QLabel;
class clsGradient;

// The About box: title, version, the maker's links and notices over a
// two-colour gradient. The gradient is painted once per opening into the
// window's persistent image (AutoRedraw), which every repaint then shows.
// Open it modally with no owner: `frmAbout dlg; dlg.exec();`.
class frmAbout : public QDialog, public platform::Drawable {
  Q_OBJECT

 public:
  explicit frmAbout(QWidget* parent = nullptr);
  ~frmAbout() override;

  // The maker's addresses as the link labels show them.
  static const QString kWebsite;
  static const QString kSupportMail;

  // "Version " + major.minor.revision, plain decimals.
  static QString VersionText(int major, int minor, int revision);

  // The window handle and the device context of the persistent image.
  platform::HWND hWnd() override { return &window_; }
  platform::HDC hDC() override { return &surfaceDc_; }

  // Whether repaints show the persistent image, and that image.
  bool AutoRedraw() const { return autoRedraw_; }
  void setAutoRedraw(bool on);
  const QImage& Image() const { return surface_; }

  // The window's painter; null until the first load.
  clsGradient* Gradient() const { return gradient_.get(); }

  QLabel* lblTitle;
  QLabel* lblVersion;
  QWidget* Line1;
  QLabel* Label1;
  QLabel* Label4;
  QLabel* Label6;
  QLabel* Label5;
  QLabel* Label7;
  QLabel* Label2;
  QLabel* Label8;
  QLabel* Label3;

 public slots:
  void Form_Load();
  void OpenLink(const QString& target);
  void Label6_Click();
  void Label7_Click();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  platform::WidgetWindow window_;
  QImage surface_;
  platform::ImageDeviceContext surfaceDc_;
  bool autoRedraw_ = false;
  bool loaded_ = false;
  std::unique_ptr<clsGradient> gradient_;
  QObject* pressed_ = nullptr;  // link label under a press, for its click
};
