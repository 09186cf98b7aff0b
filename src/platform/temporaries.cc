// The register of live temporary files and the signal handler that removes them.
//
// The handler may run at any moment on any thread, so the register is a list that only
// ever grows: slots are taken and given back through one atomic state each, and the
// handler removes a file only after claiming its slot, so no owner rewrites a path that
// the handler is reading. unlink and raise are the only calls made from the handler.
#include "platform/temporaries.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <utility>

namespace velmorane {

struct TemporarySlot {
  // kFree: nobody's; kWriting: its owner is setting the path; kLive: the file exists and
  // the handler may remove it; kClaimed: the handler is removing it.
  enum State : int { kFree, kWriting, kLive, kClaimed };
  std::atomic<int> state{kWriting};
  std::string path;
  bool folder = false;  // set with the path, before the slot is live
  TemporarySlot* next = nullptr;  // fixed before the slot is published
};

namespace {

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free state");

std::atomic<TemporarySlot*> g_slots{nullptr};
std::atomic<int> g_live{0};

// SIGPIPE: a reader of standard output that goes away ends the process as before, but
// the folder of its pictures goes first.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

void RemoveAllAndReraise(int signal_number) {
  // Files first, then the folders that held them (slots are reused in any order).
  for (const bool folders : {false, true}) {
    for (TemporarySlot* slot = g_slots.load(); slot != nullptr; slot = slot->next) {
      if (slot->folder != folders) continue;
      int live = TemporarySlot::kLive;
      if (slot->state.compare_exchange_strong(live, TemporarySlot::kClaimed)) {
        if (folders) {
          ::rmdir(slot->path.c_str());
        } else {
          ::unlink(slot->path.c_str());
        }
      }
    }
  }
  // SA_RESETHAND restored the default action; the signal is delivered again on return.
  ::raise(signal_number);
}

void InstallHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const int signal_number : kCleanupSignals) {
      struct sigaction current {};
      if (::sigaction(signal_number, nullptr, &current) != 0) continue;
      if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
      struct sigaction action {};
      action.sa_handler = RemoveAllAndReraise;
      sigemptyset(&action.sa_mask);
      action.sa_flags = SA_RESETHAND;
      (void)::sigaction(signal_number, &action, nullptr);
    }
  });
}

TemporarySlot* TakeSlot() {
  for (TemporarySlot* slot = g_slots.load(); slot != nullptr; slot = slot->next) {
    int free = TemporarySlot::kFree;
    if (slot->state.compare_exchange_strong(free, TemporarySlot::kWriting)) return slot;
  }
  auto* slot = new TemporarySlot;  // never freed: the handler may walk the list any time
  slot->next = g_slots.load();
  while (!g_slots.compare_exchange_weak(slot->next, slot)) {
  }
  return slot;
}

}  // namespace

RegisteredTemporary& RegisteredTemporary::operator=(RegisteredTemporary&& other) noexcept {
  if (this != &other) {
    Release();
    slot_ = other.slot_;
    other.slot_ = nullptr;
  }
  return *this;
}

void RegisteredTemporary::Register(const std::string& path) { Register(path, false); }

void RegisteredTemporary::RegisterFolder(const std::string& path) { Register(path, true); }

void RegisteredTemporary::Register(const std::string& path, bool folder) {
  Release();
  InstallHandlers();
  TemporarySlot* slot = TakeSlot();
  slot->path = path;
  slot->folder = folder;
  slot->state.store(TemporarySlot::kLive);
  g_live.fetch_add(1);
  slot_ = slot;
}

void RegisteredTemporary::Release() {
  if (slot_ == nullptr) return;
  int live = TemporarySlot::kLive;
  // A slot the handler has claimed stays claimed: the process is ending anyway.
  (void)slot_->state.compare_exchange_strong(live, TemporarySlot::kFree);
  g_live.fetch_sub(1);
  slot_ = nullptr;
}

void RemoveTemporary(const std::string& path, RegisteredTemporary& registration) {
  ::unlink(path.c_str());
  registration.Release();
}

void TemporaryFileSet::Add(const std::string& path, int fd) {
  files_.push_back(File{path, RegisteredTemporary(path), fd});
}

void TemporaryFileSet::Adopt(const std::string& path, RegisteredTemporary registration,
                             int fd) {
  files_.push_back(File{path, std::move(registration), fd});
}

int TemporaryFileSet::Descriptor(const std::string& path) const {
  for (std::size_t i = files_.size(); i-- > 0;) {
    if (files_[i].path == path) return files_[i].fd;
  }
  return -1;
}

void TemporaryFileSet::Remove(const std::string& path) {
  // The newest first: a picture's files are removed soon after they are made.
  for (std::size_t i = files_.size(); i-- > 0;) {
    if (files_[i].path != path) continue;
    if (files_[i].fd >= 0) ::close(files_[i].fd);
    RemoveTemporary(files_[i].path, files_[i].registration);
    files_.erase(files_.begin() + static_cast<std::ptrdiff_t>(i));
    return;
  }
}

void TemporaryFileSet::RemoveAll() {
  for (File& file : files_) {
    if (file.fd >= 0) ::close(file.fd);
    RemoveTemporary(file.path, file.registration);
  }
  files_.clear();
}

int RegisteredTemporaryCount() { return g_live.load(); }

}  // namespace velmorane
