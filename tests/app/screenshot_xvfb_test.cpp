// The skinned window on a real X server: starts its own Xvfb, draws the main
// window there in a child run of this program, grabs the screen and checks
// pixels of the title bar, the borders and the cut corners; the child then
// drags the window by its title bar with the X server's own pointer.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <string>

#include "forms/frmMain.h"

namespace {

const char* kOutVar = "LW_SCREENSHOT_OUT";
const QPoint kWindowAt(100, 80);

// An Xvfb of our own on a display number it picks itself; stopped and reaped
// when this goes out of scope.
class Xvfb {
 public:
  Xvfb() {
    const QString exe = QStandardPaths::findExecutable("Xvfb");
    if (exe.isEmpty()) return;
    int fds[2];
    if (pipe(fds) != 0) return;
    // Built before fork: the child may only exec.
    const std::string fd = std::to_string(fds[1]);
    const std::string path = exe.toStdString();
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      execl(path.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x480x24",
            "-nolisten", "tcp", "-br", "-noreset", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
      close(fds[0]);
      return;
    }
    // Xvfb writes its display number once it accepts clients.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (poll(&p, 1, 10000) > 0) {
      char c;
      if (read(fds[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    close(fds[0]);
    if (!number.empty()) display_ = ":" + QString::fromStdString(number);
  }
  ~Xvfb() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  QString display() const { return display_; }

 private:
  pid_t pid_ = -1;
  QString display_;
};

bool isRoot(QColor c) { return c == QColor(0, 0, 0); }

TEST(Screenshot, SkinnedWindowOnARealXServer) {
  if (QStandardPaths::findExecutable("Xvfb").isEmpty()) GTEST_SKIP() << "Xvfb not installed";
  Xvfb server;
  ASSERT_FALSE(server.display().isEmpty()) << "Xvfb did not start";

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString shotPath = dir.filePath("shot.png");
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("DISPLAY", server.display());
  env.insert("QT_QPA_PLATFORM", "xcb");
  env.insert("XDG_CONFIG_HOME", dir.path());  // no settings file
  env.insert(kOutVar, shotPath);
  // Under LeakSanitizer: the X11 platform's D-Bus library keeps a buffer
  // for the life of the process; that is not ours to report.
  const QString suppressions = dir.filePath("lsan.supp");
  QFile supp(suppressions);
  ASSERT_TRUE(supp.open(QIODevice::WriteOnly));
  supp.write("leak:libdbus-1.so\n");
  supp.close();
  env.insert("LSAN_OPTIONS", "suppressions=" + suppressions);
  QProcess child;
  child.setProcessEnvironment(env);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(QCoreApplication::applicationFilePath(),
              {"--gtest_filter=ScreenshotChild.*", "--gtest_also_run_disabled_tests"});
  ASSERT_TRUE(child.waitForFinished(30000));
  ASSERT_EQ(child.exitCode(), 0) << child.readAll().toStdString();

  const QImage shot(shotPath);
  ASSERT_FALSE(shot.isNull()) << child.readAll().toStdString();
  if (qEnvironmentVariableIsSet("LW_KEEP_SCREENSHOT"))
    shot.save(qEnvironmentVariable("LW_KEEP_SCREENSHOT"));
  auto at = [&](int x, int y) { return shot.pixelColor(kWindowAt + QPoint(x, y)); };

  // Title bar: the light top row, the blue body, the close glyph's cross.
  EXPECT_EQ(at(200, 0), QColor(75, 134, 194));
  EXPECT_EQ(at(200, 12), QColor(21, 98, 175));
  EXPECT_EQ(at(200, 29), QColor(15, 68, 121));
  EXPECT_EQ(at(478, 14), QColor(0, 0, 0));
  EXPECT_EQ(at(472, 8), QColor(21, 98, 175));
  int white = 0;  // the title text
  for (int y = 7; y < 23; ++y)
    for (int x = 16; x < 200; ++x) white += at(x, y) == QColor(255, 255, 255);
  EXPECT_GT(white, 40);

  // Borders, their outermost column and the bottom band above the progress bar.
  EXPECT_EQ(at(0, 80), QColor(218, 218, 218));
  EXPECT_EQ(at(1, 80), QColor(220, 220, 220));
  EXPECT_EQ(at(493, 80), QColor(144, 144, 144));
  EXPECT_EQ(at(492, 80), QColor(134, 134, 134));
  EXPECT_EQ(at(250, 155), QColor(207, 207, 207));
  EXPECT_EQ(at(30, 40), QColor(207, 207, 207));  // the grey background

  // Cut corners show the black root; the pixel next to the cut is the window.
  for (QPoint p :
       {QPoint(0, 0), QPoint(8, 0), QPoint(0, 8), QPoint(493, 0), QPoint(485, 0), QPoint(0, 183),
        QPoint(8, 183), QPoint(493, 183), QPoint(485, 183), QPoint(3, 3), QPoint(490, 180)})
    EXPECT_TRUE(isRoot(at(p.x(), p.y()))) << p.x() << "," << p.y();
  EXPECT_EQ(at(9, 0), QColor(75, 134, 194));
  EXPECT_EQ(at(484, 0), QColor(75, 134, 194));
  EXPECT_EQ(at(0, 9), QColor(75, 134, 194));
  EXPECT_FALSE(isRoot(at(9, 183)));  // the progress bar's lower edge
  EXPECT_FALSE(isRoot(at(484, 183)));
  // Nothing beyond the window's edges.
  EXPECT_TRUE(isRoot(at(-1, 80)));
  EXPECT_TRUE(isRoot(at(494, 80)));
  EXPECT_TRUE(isRoot(at(250, 184)));
}

// The child half: runs only inside the X server the test above started.
TEST(ScreenshotChild, DrawGrabAndDrag) {
  const QString out = qEnvironmentVariable(kOutVar);
  if (out.isEmpty()) GTEST_SKIP() << "runs as the child of Screenshot.SkinnedWindowOnARealXServer";
  ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  frmMain form;
  form.Form_Load();
  form.move(kWindowAt);
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QTest::qWait(300);
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  ASSERT_TRUE(screen->grabWindow(0).save(out));

  // A real drag with the X server's pointer: no window manager here, so the
  // window follows the pointer by hand, from the title bar only.
  const QString xdotool = QStandardPaths::findExecutable("xdotool");
  if (xdotool.isEmpty()) return;
  auto drag = [&](QPoint from, QPoint to) {
    const QPoint mid = (from + to) / 2;
    QProcess p;
    p.start(xdotool,
            {"mousemove", QString::number(from.x()), QString::number(from.y()), "mousedown", "1",
             "mousemove", QString::number(mid.x()), QString::number(mid.y()), "mousemove",
             QString::number(to.x()), QString::number(to.y()), "mouseup", "1"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 5000));
    ASSERT_EQ(p.exitCode(), 0);
    QTest::qWait(200);
  };
  const QPoint start = form.pos();
  drag(start + QPoint(200, 12), start + QPoint(260, 52));
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.pos() == start + QPoint(60, 40); }, 2000))
      << form.pos().x() << "," << form.pos().y();
  const QPoint moved = form.pos();
  drag(moved + QPoint(5, 80), moved + QPoint(80, 120));  // the left border
  QTest::qWait(100);
  EXPECT_EQ(form.pos(), moved);
  // The outline is the input shape too: the server finds our window under
  // the pointer inside it, and what lies behind in a cut corner.
  auto windowUnder = [&](QPoint global) -> quint64 {
    QProcess p;
    p.start(xdotool, {"mousemove", QString::number(global.x()), QString::number(global.y()),
                      "getmouselocation", "--shell"});
    if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 5000)) return 0;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
      if (line.startsWith("WINDOW=")) return line.mid(7).toULongLong();
    return 0;
  };
  const quint64 self = form.winId();
  EXPECT_EQ(windowUnder(moved + QPoint(20, 20)), self);
  EXPECT_EQ(windowUnder(moved + QPoint(493, 100)), self);
  EXPECT_NE(windowUnder(moved + QPoint(1, 1)), self);
  EXPECT_NE(windowUnder(moved + QPoint(492, 182)), self);
  EXPECT_NE(windowUnder(moved + QPoint(8, 0)), self);

  // The X server shows the window at its new place.
  const QImage after = screen->grabWindow(0).toImage();
  EXPECT_EQ(after.pixelColor(moved + QPoint(200, 12)), QColor(21, 98, 175));
  EXPECT_EQ(after.pixelColor(moved + QPoint(0, 0)), QColor(0, 0, 0));
}

}  // namespace
