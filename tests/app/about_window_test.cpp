// The About window: its design, the gradient painted once per opening, the
// version text and the two links.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <vector>

#include "classes/GradientRect.h"
#include "forms/frmAbout.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "support/ImageTarget.h"

namespace {

struct ShellCall {
  QWidget* parent;
  QString operation, file, parameters, directory;
  int show;
};

class AboutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setMsgBoxHook([this](const QString& text, int, const QString&) {
      messages.push_back(text);
      return 1;
    });
    platform::setShellExecuteHook([this](QWidget* parent, const QString& op, const QString& file,
                                         const QString& params, const QString& dir, int show) {
      shell.push_back(ShellCall{parent, op, file, params, dir, show});
      return shellResult;
    });
  }
  void TearDown() override {
    platform::setMsgBoxHook(nullptr);
    platform::setShellExecuteHook(nullptr);
  }
  std::vector<QString> messages;
  std::vector<ShellCall> shell;
  int shellResult = 33;
};

// Twips of the design to pixels at 96 dots per inch.
QRect twips(int left, int top, int width, int height) {
  return QRect(left / 15, top / 15, width / 15, height / 15);
}

// The background as the painter alone draws it for the window's client area.
QImage expectedBackground() {
  apptest::ImageTarget target(392, 229);
  target.image.fill(Qt::green);
  clsGradient g;
  g.setAngle(158);
  g.setColor1(8013119);
  g.setColor2(14467266);
  g.Draw(&target);
  return target.image;
}

TEST_F(AboutTest, DesignGeometryFontsAndColours) {
  frmAbout dlg;
  EXPECT_EQ(dlg.windowTitle(), "About Ledgerwick Optimizer");
  EXPECT_EQ(dlg.size(), QSize(392, 229));
  EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
  const Qt::WindowFlags flags = dlg.windowFlags();
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);

  struct Expect {
    QLabel* label;
    const char* name;
    QRect rect;
  };
  const Expect fixed[] = {
      {dlg.lblTitle, "lblTitle", twips(90, 120, 4365, 480)},
      {dlg.lblVersion, "lblVersion", twips(90, 600, 4845, 225)},
      {dlg.Label1, "Label1", twips(120, 1080, 5175, 255)},
      {dlg.Label4, "Label4", twips(1485, 1800, 735, 255)},
      {dlg.Label5, "Label5", twips(1485, 2040, 735, 255)},
  };
  for (const Expect& e : fixed) {
    EXPECT_EQ(e.label->objectName(), e.name);
    EXPECT_EQ(e.label->geometry(), e.rect) << e.name;
    EXPECT_EQ(dlg.findChild<QLabel*>(e.name), e.label);
    EXPECT_EQ(e.label->focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(e.label->autoFillBackground());
    // With the metric-compatible fonts the build installs, every text fits its box.
    EXPECT_LE(e.label->fontMetrics().horizontalAdvance(e.label->text()), e.rect.width()) << e.name;
  }
  EXPECT_EQ(dlg.Label4->text(), "Website:");
  EXPECT_EQ(dlg.Label5->text(), "E-mail:");
  EXPECT_TRUE(dlg.Label4->alignment() & Qt::AlignRight);
  EXPECT_TRUE(dlg.Label5->alignment() & Qt::AlignRight);
  EXPECT_EQ(dlg.Label4->geometry().right() + 1, 2220 / 15);

  EXPECT_TRUE(dlg.lblTitle->font().bold());
  EXPECT_DOUBLE_EQ(dlg.lblTitle->font().pointSizeF(), 18);
  EXPECT_EQ(dlg.lblTitle->palette().color(QPalette::WindowText), QColor(0, 0, 0));
  EXPECT_DOUBLE_EQ(dlg.Label1->font().pointSizeF(), 8.25);
  EXPECT_FALSE(dlg.Label1->font().bold());

  // The links: at their design corner, fitted to their text, underlined,
  // &HC00000 (blue 192), the hand cursor with its hot spot at the fingertip.
  for (QLabel* link : {dlg.Label6, dlg.Label7}) {
    EXPECT_EQ(link->pos(), QPoint(2325 / 15, link == dlg.Label6 ? 1800 / 15 : 2040 / 15));
    EXPECT_EQ(link->size(), link->sizeHint());
    EXPECT_TRUE(link->font().underline());
    EXPECT_FALSE(link->font().bold());
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 192));
    EXPECT_TRUE(link->testAttribute(Qt::WA_SetCursor));
    EXPECT_EQ(link->cursor().hotSpot(), QPoint(12, 1));
    EXPECT_EQ(link->cursor().pixmap().size(), QSize(32, 32));
  }
  EXPECT_EQ(dlg.Label6->text(), frmAbout::kWebsite);
  EXPECT_EQ(dlg.Label7->text(), frmAbout::kSupportMail);
  for (QLabel* other : {dlg.lblTitle, dlg.lblVersion, dlg.Label1, dlg.Label2, dlg.Label3,
                        dlg.Label4, dlg.Label5, dlg.Label8}) {
    EXPECT_FALSE(other->testAttribute(Qt::WA_SetCursor)) << other->objectName().toStdString();
  }

  // Notices stay centred on the window's centre line; the rule spans
  // symmetrically 8 pixels in from each side.
  for (QLabel* notice : {dlg.Label2, dlg.Label8, dlg.Label3}) {
    const QRect r = notice->geometry();
    EXPECT_NEAR(r.x() + r.width() / 2.0, 196, 1) << notice->objectName().toStdString();
    EXPECT_GE(r.width(), notice->sizeHint().width());
    EXPECT_FALSE(notice->text().isEmpty());
  }
  EXPECT_TRUE(dlg.Label2->text().contains("Ledgerwick Optimizer developers"));
  EXPECT_TRUE(dlg.Label8->text().contains("trademark"));
  EXPECT_EQ(dlg.Line1->geometry(), QRect(8, 64, 376, 1));
}

TEST_F(AboutTest, HandCursorArtworkPointsWithItsFingertip) {
  frmAbout dlg;  // registers the resources
  const QImage hand = QImage(":/about/hand.png").convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(hand.size(), QSize(32, 32));
  EXPECT_EQ(hand.pixel(12, 1), qRgba(0, 0, 0, 255));
  for (int x = 0; x < 32; ++x) EXPECT_EQ(qAlpha(hand.pixel(x, 0)), 0) << x;
  EXPECT_EQ(qAlpha(hand.pixel(0, 31)), 0);
  EXPECT_EQ(qAlpha(hand.pixel(31, 31)), 0);

  // The committed image is what its generator draws from its character art.
  QFile generator(QStringLiteral(LW_SOURCE_DIR) + "/tools/make_cursor.py");
  ASSERT_TRUE(generator.open(QIODevice::ReadOnly | QIODevice::Text));
  const QString script = QString::fromUtf8(generator.readAll());
  const QString marker = "ART = \"\"\"\n";
  const qsizetype begin = script.indexOf(marker) + marker.size();
  ASSERT_GE(begin, marker.size());
  const qsizetype end = script.indexOf("\"\"\"", begin);
  const QStringList rows = script.mid(begin, end - begin).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(rows.size(), 32);
  for (int y = 0; y < 32; ++y) {
    ASSERT_EQ(rows[y].size(), 32) << y;
    for (int x = 0; x < 32; ++x) {
      const QChar c = rows[y].at(x);
      const QRgb want = c == 'X'   ? qRgba(0, 0, 0, 255)
                        : c == 'o' ? qRgba(255, 255, 255, 255)
                                   : qRgba(0, 0, 0, 0);
      ASSERT_EQ(hand.pixel(x, y), want) << x << "," << y;
    }
  }
}

TEST_F(AboutTest, EachOpeningPaintsTheWholeBackgroundAndTheVersion) {
  const QImage expected = expectedBackground();
  frmAbout dlg;
  EXPECT_EQ(dlg.Gradient(), nullptr);
  EXPECT_EQ(dlg.lblVersion->text(), "Version");
  const QString version =
      QString("Version %1.%2.%3").arg(LW_VERSION_MAJOR).arg(LW_VERSION_MINOR).arg(LW_VERSION_PATCH);
  clsGradient* painter = nullptr;
  for (int opening = 0; opening < 2; ++opening) {
    SCOPED_TRACE(opening);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_TRUE(dlg.AutoRedraw());
    EXPECT_TRUE(dlg.Image() == expected);
    EXPECT_EQ(dlg.lblVersion->text(), version);
    if (opening == 0) painter = dlg.Gradient();
    EXPECT_EQ(dlg.Gradient(), painter);  // created once, at the first load
    EXPECT_TRUE(dlg.updatesEnabled());   // the paint lock was released
    const QPoint screenCentre = dlg.screen()->availableGeometry().center();
    EXPECT_LE((dlg.frameGeometry().center() - screenCentre).manhattanLength(), 1);
    dlg.close();
    // Between openings the surface is scribbled over; the next load repaints it.
    const_cast<QImage&>(dlg.Image()).fill(Qt::red);
  }
  EXPECT_TRUE(messages.empty());
}

TEST_F(AboutTest, RepaintsShowTheKeptImageWithoutPaintingAgain) {
  frmAbout dlg;
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  const QImage kept = dlg.Image();
  // A repaint that ran the painter again would now draw at another angle.
  dlg.Gradient()->setAngle(0);
  dlg.repaint();
  const QImage shown = dlg.grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_TRUE(dlg.Image() == kept);
  // Points clear of every label and of the rule show the kept image.
  for (QPoint p : {QPoint(0, 0), QPoint(391, 228), QPoint(0, 228), QPoint(391, 0), QPoint(390, 100),
                   QPoint(3, 150)}) {
    EXPECT_EQ(shown.pixel(p), kept.pixel(p)) << p.x() << "," << p.y();
  }
  EXPECT_EQ(shown.pixel(8, 64), qRgb(0, 0, 0));  // the rule over the background
  EXPECT_EQ(shown.pixel(383, 64), qRgb(0, 0, 0));
  EXPECT_EQ(shown.pixel(384, 64), kept.pixel(384, 64));
  EXPECT_EQ(shown.pixel(7, 64), kept.pixel(7, 64));
}

TEST_F(AboutTest, VersionTextHasNoLeadingZeros) {
  EXPECT_EQ(frmAbout::VersionText(1, 12, 3), "Version 1.12.3");
  EXPECT_EQ(frmAbout::VersionText(1, 0, 0), "Version 1.0.0");
  EXPECT_EQ(frmAbout::VersionText(10, 2, 30), "Version 10.2.30");
}

TEST_F(AboutTest, OnlyTheAddressLabelsOpenLinks) {
  frmAbout dlg;
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  for (QWidget* w : std::initializer_list<QWidget*>{dlg.lblTitle, dlg.lblVersion, dlg.Label1,
                                                    dlg.Label2, dlg.Label3, dlg.Label4, dlg.Label5,
                                                    dlg.Label8, dlg.Line1, &dlg}) {
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(2, 0));
  }
  EXPECT_TRUE(shell.empty());

  QTest::mouseClick(dlg.Label6, Qt::LeftButton, {}, QPoint(3, 3));
  QTest::mouseClick(dlg.Label7, Qt::LeftButton, {}, QPoint(3, 3));
  QTest::mouseClick(dlg.Label6, Qt::RightButton, {}, QPoint(3, 3));
  ASSERT_EQ(shell.size(), 2u);
  EXPECT_EQ(shell[0].file, "https://ledgerwick.example/");
  EXPECT_EQ(shell[1].file, "mailto:support@ledgerwick.example");
  for (const ShellCall& c : shell) {
    EXPECT_EQ(c.parent, &dlg);
    EXPECT_TRUE(c.operation.isNull());
    EXPECT_TRUE(c.parameters.isNull());
    EXPECT_EQ(c.show, platform::SW_SHOWNORMAL);
  }

  // A press that leaves the label before the release is no click.
  QTest::mousePress(dlg.Label6, Qt::LeftButton, {}, QPoint(3, 3));
  QTest::mouseRelease(dlg.Label6, Qt::LeftButton, {}, QPoint(-20, 40));
  EXPECT_EQ(shell.size(), 2u);
}

TEST_F(AboutTest, AShellThatFailsChangesNothing) {
  shellResult = 31;  // no program for the link
  frmAbout dlg;
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  const QImage before = dlg.Image();
  QTest::mouseClick(dlg.Label7, Qt::LeftButton, {}, QPoint(3, 3));
  EXPECT_EQ(shell.size(), 1u);
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_TRUE(dlg.Image() == before);
}

TEST_F(AboutTest, ModalExecReturnsWhenClosed) {
  frmAbout dlg;
  QTimer::singleShot(0, &dlg, [&] {
    EXPECT_TRUE(dlg.isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), &dlg);
    dlg.close();
  });
  dlg.exec();
  EXPECT_FALSE(dlg.isVisible());
}

}  // namespace
