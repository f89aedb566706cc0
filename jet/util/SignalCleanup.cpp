#include "jet/util/SignalCleanup.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace jet {
namespace {

// A fixed table, because a signal handler may neither allocate nor lock.
constexpr int kSlots = 16;
constexpr size_t kPathMax = 4096;
enum : int { kFree, kFilling, kListed };

struct Slot {
  std::atomic<int> state{kFree};
  char path[kPathMax];
};
Slot slots[kSlots];

void removeListedAndDie(int sig) {
  for (Slot& s : slots)
    if (s.state.load() == kListed) ::unlink(s.path);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

}  // namespace

bool listTemporary(const char* path) noexcept {
  const size_t n = std::strlen(path);
  if (n >= kPathMax) return false;
  for (Slot& s : slots) {
    int expected = kFree;
    if (!s.state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(s.path, path, n + 1);
    s.state.store(kListed);
    return true;
  }
  return false;
}

void unlistTemporary(const char* path) noexcept {
  for (Slot& s : slots)
    if (s.state.load() == kListed && std::strcmp(s.path, path) == 0) {
      s.state.store(kFree);
      return;
    }
}

void installSignalCleanup() {
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    struct sigaction old {};
    // A signal the caller ignores (nohup) stays ignored.
    if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    struct sigaction sa {};
    sa.sa_handler = removeListedAndDie;
    sigemptyset(&sa.sa_mask);
    ::sigaction(sig, &sa, nullptr);
  }
}

}  // namespace jet
