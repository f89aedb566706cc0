// The About window: the gradient painted once per opening and kept, the
// version text, texts that fit their boxes, and the two links.
#include <gtest/gtest.h>

#include <QLabel>
#include <QScreen>
#include <QTest>
#include <vector>

#include "classes/GradientRect.h"
#include "forms/frmAbout.h"
#include "platform/Shell.h"
#include "support/ImageTarget.h"
#include "support/MsgBoxRecorder.h"

namespace {

class About : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setShellExecuteHook([this](QWidget* parent, const QString& op, const QString& file,
                                         const QString& params, const QString&, int show) {
      EXPECT_EQ(parent, dlg.get());
      EXPECT_TRUE(op.isNull() && params.isNull());
      EXPECT_EQ(show, platform::SW_SHOWNORMAL);
      opened.push_back(file);
      return shellResult;
    });
    dlg = std::make_unique<frmAbout>();
  }
  void TearDown() override { platform::setShellExecuteHook(nullptr); }
  void show() {
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
  }

  MsgBoxRecorder boxes;
  std::vector<QString> opened;
  int shellResult = 33;
  std::unique_ptr<frmAbout> dlg;
};

TEST_F(About, EachOpeningPaintsTheWholeBackgroundAndTheVersion) {
  apptest::ImageTarget target(392, 229);
  clsGradient g;
  g.setAngle(158);
  g.setColor1(8013119);
  g.setColor2(14467266);
  g.Draw(&target);
  EXPECT_EQ(dlg->lblVersion->text(), "Version");
  for (int opening = 0; opening < 2; ++opening) {
    SCOPED_TRACE(opening);
    show();
    EXPECT_TRUE(dlg->Image() == target.image);
    EXPECT_EQ(dlg->lblVersion->text(), "Version 1.0.0");
    EXPECT_TRUE(dlg->updatesEnabled());  // the paint lock was released
    const QPoint centre = dlg->screen()->availableGeometry().center();
    EXPECT_LE((dlg->frameGeometry().center() - centre).manhattanLength(), 1);
    dlg->close();
    // Between openings the surface is scribbled over; the next load repaints it.
    const_cast<QImage&>(dlg->Image()).fill(Qt::red);
  }
  // With the metric-compatible fonts the build installs, every text fits its box.
  for (QLabel* l : {dlg->lblTitle, dlg->lblVersion, dlg->Label1, dlg->Label4, dlg->Label5})
    EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->width()) << l->text().toStdString();
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(About, RepaintsShowTheKeptImageWithoutPaintingAgain) {
  show();
  const QImage kept = dlg->Image();
  dlg->Gradient()->setAngle(0);  // a repaint that ran the painter again would show this
  dlg->repaint();
  const QImage shown = dlg->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_TRUE(dlg->Image() == kept);
  for (QPoint p : {QPoint(0, 0), QPoint(391, 228), QPoint(0, 228), QPoint(391, 0), QPoint(3, 150)})
    EXPECT_EQ(shown.pixel(p), kept.pixel(p)) << p.x() << "," << p.y();
  EXPECT_EQ(shown.pixel(8, 64), qRgb(0, 0, 0));  // the rule over the background
}

TEST_F(About, OnlyAClickOnAnAddressOpensIt) {
  show();
  for (QWidget* w : std::initializer_list<QWidget*>{dlg->lblTitle, dlg->lblVersion, dlg->Label1,
                                                    dlg->Label4, dlg->Label8, dlg.get()})
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(2, 0));
  QTest::mouseClick(dlg->Label6, Qt::RightButton, {}, QPoint(3, 3));
  // A press that leaves the label before the release is no click.
  QTest::mousePress(dlg->Label6, Qt::LeftButton, {}, QPoint(3, 3));
  QTest::mouseRelease(dlg->Label6, Qt::LeftButton, {}, QPoint(-20, 40));
  EXPECT_TRUE(opened.empty());
  QTest::mouseClick(dlg->Label6, Qt::LeftButton, {}, QPoint(3, 3));
  shellResult = 31;  // no program for the link: nothing else happens
  const QImage before = dlg->Image();
  QTest::mouseClick(dlg->Label7, Qt::LeftButton, {}, QPoint(3, 3));
  EXPECT_EQ(opened, (std::vector<QString>{"https://ledgerwick.example/",
                                          "mailto:support@ledgerwick.example"}));
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_TRUE(dlg->Image() == before);
  EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
