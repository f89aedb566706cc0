// The replaceable platform pieces: checked counters, message boxes, clock,
// ending the program, the program's path and the engine's call.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/DBEngine.h"
#include "platform/Int16.h"
#include "platform/ProgramPath.h"
#include "platform/RuntimeError.h"
#include "support/MsgBoxRecorder.h"

namespace {

TEST(Int16, ArithmeticIsCheckedAtBothEnds) {
  platform::Int16 n = 32766;
  ++n;
  EXPECT_EQ(n, 32767);
  try {
    n += 1;
    FAIL() << "no overflow";
  } catch (const platform::RuntimeError& e) {
    EXPECT_EQ(e.number(), 6);
    EXPECT_EQ(e.description(), "Overflow");
  }
  EXPECT_EQ(n, 32767);  // unchanged by the failed step
  n = -32768;
  EXPECT_THROW(n -= 1, platform::RuntimeError);
  EXPECT_THROW(n = 40000, platform::RuntimeError);
  EXPECT_EQ(n, -32768);
}

TEST(MsgBox, HookSeesTextStyleAndTitle) {
  MsgBoxRecorder boxes;
  EXPECT_EQ(platform::MsgBox("hello"), 1);
  platform::MsgBox("careful", platform::vbExclamation, "Error");
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_EQ(boxes.boxes[0].text, "hello");
  EXPECT_EQ(boxes.boxes[0].style, 0);
  EXPECT_TRUE(boxes.boxes[0].title.isEmpty());
  EXPECT_EQ(boxes.boxes[1].style, 48);
  EXPECT_EQ(boxes.boxes[1].title, "Error");
}

TEST(FatalError, ShowsNumberAndDescriptionThenEnds) {
  MsgBoxRecorder boxes;
  int ends = 0;
  boxes.onShow = [&](const MsgBoxRecorder::Box&) { EXPECT_EQ(ends, 0) << "ended before telling"; };
  platform::setEndHook([&] { ++ends; });
  platform::ReportFatal(6, "Overflow");
  platform::setEndHook({});
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_TRUE(boxes.boxes[0].text.contains("6"));
  EXPECT_TRUE(boxes.boxes[0].text.contains("Overflow"));
  EXPECT_EQ(ends, 1);
}

TEST(Clock, HookFixesTheDate) {
  platform::setClockHook([] { return QDate(2024, 2, 29); });
  EXPECT_EQ(platform::currentDate(), QDate(2024, 2, 29));
  platform::setClockHook({});
  EXPECT_EQ(platform::currentDate(), QDate::currentDate());
}

TEST(Version, ComesFromTheBuild) {
  EXPECT_EQ(platform::AppMajor(), LW_VERSION_MAJOR);
  EXPECT_EQ(platform::AppMinor(), LW_VERSION_MINOR);
  EXPECT_EQ(platform::AppRevision(), LW_VERSION_PATCH);
}

TEST(ProgramPath, IsThisExecutableAndIsCutToCapacity) {
  QString path;
  const int n = platform::GetModuleFileName(path, 999);
  EXPECT_EQ(n, path.size());
  EXPECT_EQ(QFileInfo(path).canonicalFilePath(),
            QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());
  EXPECT_EQ(platform::GetModuleFileName(path, 5), 4);
  EXPECT_EQ(path, QCoreApplication::applicationFilePath().left(4));
  EXPECT_EQ(platform::GetModuleFileName(path, 0), 0);
}

TEST(DBEngine, RefusesDestinationSettingsItCannotHonour) {
  QTemporaryDir dir;
  const QString dst = dir.path() + "/out.mdb";
  platform::DBEngine engine;
  const QString src = QString(LW_SOURCE_DIR) + "/demo/Ledgerwick.mdb";
  EXPECT_THROW(engine.CompactDatabase(src, dst, QString(";pwd=x"), std::nullopt, ";pwd=m0ssb4nk7q"),
               jet::Error);
  EXPECT_THROW(engine.CompactDatabase(src, dst, std::nullopt, 64, ";pwd=m0ssb4nk7q"), jet::Error);
  EXPECT_FALSE(QFile::exists(dst));
}

TEST(DBEngine, CompactsTheDemoDatabaseAndCanBeCancelled) {
  QTemporaryDir dir;
  const QString src = QString(LW_SOURCE_DIR) + "/demo/Ledgerwick.mdb";
  platform::DBEngine engine;
  engine.CompactDatabase(src, dir.path() + "/a.mdb", std::nullopt, std::nullopt,
                         QString(";pwd=m0ssb4nk7q"));
  EXPECT_GT(QFileInfo(dir.path() + "/a.mdb").size(), 0);

  int calls = 0;
  engine.setProgress([&](double) { return ++calls < 1; });
  EXPECT_THROW(engine.CompactDatabase(src, dir.path() + "/b.mdb", std::nullopt, std::nullopt,
                                      QString(";pwd=m0ssb4nk7q")),
               jet::Error);
  EXPECT_GE(calls, 1);
  EXPECT_FALSE(QFile::exists(dir.path() + "/b.mdb"));
}

}  // namespace
