#include "jet/util/Mapping.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <mutex>

namespace jet {

namespace {

struct MappedRange {
  std::atomic<uintptr_t> begin{0}, end{0};
  std::atomic<Mapping*> owner{nullptr};
};

}  // namespace

// The live mappings, where the SIGBUS handler can look them up without a
// lock or an allocation.
struct MappingRegistry {
  static constexpr size_t kSlots = 64;
  using Slot = MappedRange;
  static inline std::array<Slot, kSlots> slots;
  static inline std::mutex taking;
  static inline struct sigaction previous {};

  static size_t take(Mapping* m, uintptr_t begin, uintptr_t end) {
    const std::lock_guard<std::mutex> lock(taking);
    for (size_t i = 0; i < kSlots; ++i) {
      if (slots[i].owner.load() != nullptr) continue;
      slots[i].begin = begin;
      slots[i].end = end;
      slots[i].owner = m;
      return i;
    }
    return kSlots;
  }

  static void give(size_t i) {
    const std::lock_guard<std::mutex> lock(taking);
    slots[i].owner = nullptr;
    slots[i].begin = 0;
    slots[i].end = 0;
  }

  static void onBus(int sig, siginfo_t* info, void* context) {
    const auto at = reinterpret_cast<uintptr_t>(info->si_addr);
    const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    for (Slot& s : slots) {
      Mapping* m = s.owner.load();
      const uintptr_t begin = s.begin.load(), end = s.end.load();
      if (!m || at < begin || at >= end) continue;
      // Zeros from the lost page on; the touch is then tried again.
      const uintptr_t from = at & ~(page - 1);
      ::mmap(reinterpret_cast<void*>(from), end - from, PROT_READ,
             MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      m->cut_.store(true);
      return;
    }
    if (previous.sa_flags & SA_SIGINFO) return previous.sa_sigaction(sig, info, context);
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN)
      return previous.sa_handler(sig);
    // Not ours: the default action, when the touch is tried again.
    ::signal(SIGBUS, SIG_DFL);
  }

  static bool install() {
    static const bool installed = [] {
      struct sigaction sa {};
      sa.sa_sigaction = onBus;
      sa.sa_flags = SA_SIGINFO | SA_NODEFER;
      sigemptyset(&sa.sa_mask);
      return ::sigaction(SIGBUS, &sa, &previous) == 0;
    }();
    return installed;
  }
};

std::unique_ptr<Mapping> Mapping::map(int fd, uint64_t size) {
  if (size == 0 || size > SIZE_MAX || !MappingRegistry::install()) return nullptr;
  void* at = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  if (at == MAP_FAILED) return nullptr;
  std::unique_ptr<Mapping> m(new Mapping(static_cast<const uint8_t*>(at), size, 0));
  const auto begin = reinterpret_cast<uintptr_t>(at);
  m->slot_ = MappingRegistry::take(m.get(), begin, begin + size);
  if (m->slot_ == MappingRegistry::kSlots) {
    ::munmap(at, size);
    m->data_ = nullptr;
    return nullptr;
  }
  return m;
}

Mapping::Mapping(const uint8_t* data, uint64_t size, size_t slot)
    : data_(data), size_(size), slot_(slot) {
  const auto begin = reinterpret_cast<uintptr_t>(data);
  firstSpan_ = begin / kSpan;
  spanWords_ = static_cast<size_t>(((begin + size - 1) / kSpan - firstSpan_) / 64 + 1);
  spans_ = std::make_unique<std::atomic<uint64_t>[]>(spanWords_);
}

Mapping::~Mapping() {
  if (!data_) return;
  MappingRegistry::give(slot_);
  ::munmap(const_cast<uint8_t*>(data_), size_);
}

void Mapping::forget() { ::madvise(const_cast<uint8_t*>(data_), size_, MADV_DONTNEED); }

void Mapping::forgetSpans() {
  // Another thread may touch a span between these steps: its page is then
  // forgotten or counted once more, neither of which matters.
  spansHeld_.store(0, std::memory_order_relaxed);
  for (size_t i = 0; i < spanWords_; ++i) spans_[i].store(0, std::memory_order_relaxed);
  forget();
}

}  // namespace jet
