#include "jet/cli/PasswordInput.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace jetdb {
namespace {

constexpr size_t kMaxLine = 4096;  // Jet's own limit is 20 characters

enum class Read { Line, End, Failed, TooLong };

// One line from fd, byte by byte so that nothing after it is consumed. End:
// the input ended before a newline.
Read readLine(int fd, std::string& line) {
  line.clear();
  for (char c;;) {
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Read::Failed;
    if (n == 0) return Read::End;
    if (c == '\n') return Read::Line;
    if (line.size() == kMaxLine) return Read::TooLong;
    line += c;
  }
}

// Why a password could not be read from `what`, or "" when it could.
std::string problem(Read r, const std::string& line, const std::string& what, int error) {
  if (r == Read::Failed) return "cannot read " + what + ": " + std::strerror(error);
  if (r == Read::TooLong)
    return "cannot read " + what + ": its first line is longer than " + std::to_string(kMaxLine) +
           " bytes";
  if (r == Read::End && line.empty()) return "cannot read " + what + ": it is empty";
  return "";
}

// The terminal's settings while echo is off, for the signal handler.
int gTty = -1;
termios gSaved;
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction gOld[4];

extern "C" void restoreAndRaise(int sig) {
  ::tcsetattr(gTty, TCSANOW, &gSaved);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

void catchSignals(bool on) {
  for (int i = 0; i < 4; ++i) {
    if (on) {
      struct sigaction sa {};
      sa.sa_handler = restoreAndRaise;
      sigemptyset(&sa.sa_mask);
      ::sigaction(kSignals[i], &sa, &gOld[i]);
    } else {
      ::sigaction(kSignals[i], &gOld[i], nullptr);
    }
  }
}

}  // namespace

std::string readPasswordFile(const std::string& path) {
  const bool stdIn = path == "-";
  const std::string what =
      stdIn ? "the password from standard input" : "the password file '" + path + "'";
  const int fd = stdIn ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw PasswordError{"cannot read " + what + ": " + std::strerror(errno)};
  std::string line;
  const Read r = readLine(fd, line);
  const int error = errno;
  if (!stdIn) ::close(fd);
  const std::string why = problem(r, line, what, error);
  if (!why.empty()) throw PasswordError{why};
  if (r == Read::Line && !line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string askPassword(const std::string& prompt) {
  const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 || ::tcgetattr(fd, &gSaved) != 0) {
    if (fd >= 0) ::close(fd);
    throw PasswordError{
        "--ask-password needs a terminal to ask on, and there is none; give the password with "
        "--password-file FILE or JETDB_PASSWORD instead"};
  }
  gTty = fd;
  termios quiet = gSaved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  quiet.c_lflag |= ECHONL;  // the newline typed still ends the prompt's line
  catchSignals(true);
  ::tcsetattr(fd, TCSAFLUSH, &quiet);
  (void)!::write(fd, prompt.data(), prompt.size());
  std::string line;
  const Read r = readLine(fd, line);
  const int error = errno;
  ::tcsetattr(fd, TCSAFLUSH, &gSaved);
  catchSignals(false);
  ::close(fd);
  gTty = -1;
  if (r == Read::End) throw PasswordError{"no password was typed (end of input)"};
  const std::string why = problem(r, line, "the password from the terminal", error);
  if (!why.empty()) throw PasswordError{why};
  return line;
}

}  // namespace jetdb
