// "Optimize" while the compaction runs on its worker thread and when it fails:
// the window keeps ticking, closes at once when asked, tells the user what
// went wrong, returns to idle and never deletes what is not its own.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProgressBar>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "jet/Engine.h"
#include "support/AppTesting.h"
#include "support/ButtonStates.h"

namespace {

using namespace std::chrono_literals;

class Worker : public apptest::WindowTest {
 protected:
  void putDatabase(const QString& from = apptest::demoDatabase()) {
    ASSERT_TRUE(apptest::copyWritable(from, database()));
  }
  // The state every failed run ends in: one "Error" box naming the error.
  void expectFailedAndIdle(const QString& number) {
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, "Error");
    EXPECT_TRUE(boxes.boxes[0].text.contains(number)) << boxes.boxes[0].text.toStdString();
    EXPECT_EQ(ButtonStates::of(w), phase::idle);
    EXPECT_FALSE(w.Timer1->isActive());
    EXPECT_FALSE(Module2::bCompacted);
    EXPECT_EQ(w.lblProgress->text(), "Optimization failed");
    EXPECT_FALSE(w.txtFilePath->isReadOnly());
    EXPECT_EQ(startup.ends, 0) << "an engine error must not end the program";
  }
  std::atomic<bool> release{false}, cancelSeen{false};  // shared with the engine's thread
};

// Real ticks reach the window while the engine works; after many of them the
// bar shows no more than the fraction the engine last reported, and the run
// then ends as it always did.
TEST_F(Worker, BarFollowsTheEnginesFractionAndWaitsForIt) {
  std::atomic<double> fraction{0}, reported{-1};
  platform::setCompactHook([&](const std::string&, const std::string& dst,
                               const std::string& connect, const jet::Progress& progress) {
    EXPECT_EQ(connect, apptest::kPassword);
    for (double f = fraction; !release && progress(f); f = fraction) {
      reported = f;
      std::this_thread::sleep_for(1ms);
    }
    apptest::writeAll(QString::fromStdString(dst), "a whole database");
  });
  int ticks = 0;
  QObject::connect(w.Timer1, &QTimer::timeout, [&] { ++ticks; });
  w.Timer1->setInterval(5);
  w.cmdCompactRepair_Click();
  const struct {
    double fraction;
    int bar;
  } rows[] = {{0.0, 0}, {0.05, 0}, {0.5, 50}, {0.99, 90}, {1.0, 100}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.fraction);
    fraction = r.fraction;
    ASSERT_TRUE(apptest::waitUntil([&] { return reported == r.fraction; }, 5000));
    const int seen = ticks;
    ASSERT_TRUE(apptest::waitUntil([&] { return ticks >= seen + 25; }, 5000));
    EXPECT_EQ(w.ProgressBar->value(), r.bar);
    EXPECT_EQ(Module2::iStage, 1);
    EXPECT_EQ(ButtonStates::of(w), phase::running);
  }
  release = true;
  ASSERT_TRUE(apptest::waitUntil([&] { return Module2::iStage == 2; }, 5000));
  EXPECT_EQ(w.lblProgress->text(), "Optimization Complete");
  EXPECT_EQ(w.ProgressBar->value(), 0);
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Worker, ClosingDuringALongCompactionCancelsItAtOnce) {
  // An engine that would work for a minute, asking the callback as it goes.
  platform::setCompactHook(
      [&](const std::string&, const std::string&, const std::string&, const jet::Progress& p) {
        for (auto end = std::chrono::steady_clock::now() + 60s;
             std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(20ms))
          if (!p(0.3)) {
            cancelSeen = true;
            throw jet::Error(3049, "cancelled");
          }
      });
  putDatabase();
  w.cmdCompactRepair_Click();
  apptest::waitUntil([] { return false; }, 100);
  QElapsedTimer closing;
  closing.start();
  w.close();
  EXPECT_LT(closing.elapsed(), 500);
  EXPECT_TRUE(cancelSeen);
  EXPECT_FALSE(w.compactionRunning());
  apptest::waitUntil([] { return false; }, 50);
  EXPECT_TRUE(boxes.boxes.empty()) << "closing is no error";
}

TEST_F(Worker, DestroyingTheWindowMidRunLeavesNoPartialCopy) {
  putDatabase();
  {
    frmMain other;
    other.txtFilePath->setText(folder());
    other.cmdCompactRepair_Click();
    ASSERT_TRUE(other.compactionRunning());
  }
  const QStringList left = files();
  EXPECT_TRUE(left == QStringList{"Ledgerwick.mdb"} ||
              left == QStringList({"Ledgerwick.mdb", "_Repaired.mdb"}))
      << left.join(", ").toStdString();
  // Only a finished copy may stay: it opens.
  if (left.size() == 2) {
    EXPECT_NO_THROW(jet::describe(repaired().toStdString(), apptest::kPassword));
  }
}

TEST_F(Worker, AnotherProgramsRepairedCopyMadeMidRunIsKept) {
  // Someone else creates _Repaired.mdb while the engine works; publishing then
  // meets it and fails, leaving it as it is.
  platform::setCompactHook(
      [&](const std::string&, const std::string& dst, const std::string&, const jet::Progress&) {
        apptest::writeAll(QString::fromStdString(dst), "someone else's file");
        throw jet::Error(3204, "Database already exists.");
      });
  putDatabase();
  optimize();
  expectFailedAndIdle("3204");
  EXPECT_TRUE(boxes.boxes[0].text.contains("Database already exists."));
  EXPECT_EQ(apptest::readAll(repaired()), "someone else's file");
}

// Real engine errors: each is reported, and the folder is left as it was.
TEST_F(Worker, EngineErrorsAreReportedAndTheFolderIsLeftAsItWas) {
  const QString data = QString(LW_TEST_DATA_DIR) + "/jet/";
  const struct {
    const char* name;
    std::function<void()> setUp;
    const char* number;
  } cases[] = {
      {"no database", [] {}, "3024"},
      {"wrong password", [&] { putDatabase(data + "mdbreader-V2000_with-password.mdb"); }, "3031"},
      {"no database format", [&] { apptest::writeAll(database(), QByteArray(8192, 'x')); }, "3343"},
      {"folder in the way",
       [&] {
         putDatabase();
         ASSERT_TRUE(QDir(startup.root()).mkpath("_Repaired.mdb/inside"));
       },
       "3204"},
      {"linked database in use at its target",
       [&] {
         ASSERT_TRUE(QDir(startup.root()).mkpath("real"));
         putDatabase();
         ASSERT_TRUE(QFile::rename(database(), folder() + "real/Ledgerwick.mdb"));
         ASSERT_TRUE(QFile::link(folder() + "real/Ledgerwick.mdb", database()));
       },
       "3045"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QDir(startup.root()).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(startup.root()));
    boxes.boxes.clear();
    c.setUp();
    const QStringList before = files();
    std::optional<apptest::LockHolder> lock;
    if (QFileInfo(database()).isSymLink()) lock.emplace(folder() + "real/Ledgerwick.ldb");
    optimize();
    expectFailedAndIdle(c.number);
    EXPECT_EQ(files(), before);
  }
  // The window is usable again: a good database in the same folder compacts.
  QDir(startup.root()).removeRecursively();
  ASSERT_TRUE(QDir().mkpath(startup.root()));
  boxes.boxes.clear();
  putDatabase();
  optimize();
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_TRUE(Module2::bCompacted);
}

TEST_F(Worker, UnexpectedExceptionIsReportedToo) {
  platform::setCompactHook([](const std::string&, const std::string&, const std::string&,
                              const jet::Progress&) { throw std::bad_alloc(); });
  optimize();
  expectFailedAndIdle("Internal error");
}

TEST_F(Worker, DatabaseWrittenWhileCompactingIsNotReplaced) {
  platform::setCompactHook(
      [](const std::string& src, const std::string& dst, const std::string&, const jet::Progress&) {
        apptest::writeAll(QString::fromStdString(dst), "a whole database");
        apptest::writeAll(QString::fromStdString(src), "written by the host meanwhile");
      });
  putDatabase();
  optimize();
  ASSERT_TRUE(Module2::bCompacted);
  Module2::iStage = 3;  // straight to the answer of the replace question
  w.cmdYes_Click();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_TRUE(boxes.boxes[0].text.contains("no repaired copy was made"));
  EXPECT_EQ(apptest::readAll(database()), "written by the host meanwhile");
}

}  // namespace
