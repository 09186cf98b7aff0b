// SVG drawings rendered by the helper program velmorane-svg in a child process. librsvg
// has no bound of its own on the work a drawing asks for (a turbulence filter with a
// million octaves never ends) and aborts the process when an allocation fails, so it
// never runs in ours: the child gets a processor-time and an address-space limit and is
// killed when it takes too long in real time.
#include "platform/svg_child.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

extern char** environ;

#if defined(__SANITIZE_ADDRESS__)
#define VELMORANE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORANE_ADDRESS_SANITIZER 1
#endif
#endif

namespace velmorane {

namespace {

constexpr const char* kHelperName = "velmorane-svg";

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool ReadAllAt(int fd, char* data, std::size_t size, off_t at) {
  while (size > 0) {
    const ssize_t got = ::pread(fd, data, size, at);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    data += got;
    size -= static_cast<std::size_t>(got);
    at += got;
  }
  return true;
}

void PutLe32(char* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<char>(value >> (8 * i));
}

std::uint32_t GetLe32(const char* at) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(static_cast<unsigned char>(at[i])) << (8 * i);
  return value;
}

// A descriptor closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

std::string FolderOf(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Waits for `pid` until `deadline`; kills it then. True when it was killed for time.
bool WaitOrKill(pid_t pid, std::chrono::steady_clock::time_point deadline, int& status) {
  long pause_microseconds = 200;
  for (;;) {
    const pid_t got = ::waitpid(pid, &status, WNOHANG);
    if (got == pid) return false;
    if (got < 0 && errno != EINTR) {
      status = -1;  // reaped elsewhere (SIGCHLD ignored): the output tells
      return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      return true;
    }
    const long long left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now).count();
    const long pause = static_cast<long>(std::min<long long>(pause_microseconds, left));
    const timespec wait{0, pause * 1000};
    ::nanosleep(&wait, nullptr);
    pause_microseconds = std::min(pause_microseconds * 2, 10000L);
  }
}

// The pixels the helper wrote into `fd`; false when they are not a whole picture.
bool ReadHelperPicture(int fd, DecodedPicture& out) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_size < 8) return false;
  char header[8];
  if (!ReadAllAt(fd, header, sizeof header, 0)) return false;
  const std::uint32_t width = GetLe32(header), height = GetLe32(header + 4);
  if (width == 0 || height == 0 || width > kMaxDecodedPixels / height) return false;
  const std::size_t bytes = std::size_t{width} * height * 3;
  if (static_cast<std::uint64_t>(st.st_size) != bytes + 8) return false;
  out.bgr.resize(bytes);
  if (!ReadAllAt(fd, reinterpret_cast<char*>(out.bgr.data()), bytes, 8)) return false;
  out.width = static_cast<int>(width);
  out.height = static_cast<int>(height);
  return true;
}

}  // namespace

const std::string& SvgHelperPath() {
  static const std::string path = [] {
    // Beside the program or the library that holds this code, or in its libexec folder;
    // then where this build installs it, then where it was built.
    std::vector<std::string> folders;
    char exe[4096];
    const ssize_t length = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (length > 0) folders.push_back(FolderOf(std::string_view(exe, static_cast<std::size_t>(length))));
    static const char kAnchor = 0;
    Dl_info info{};
    if (::dladdr(&kAnchor, &info) != 0 && info.dli_fname != nullptr && info.dli_fname[0] == '/') {
      folders.push_back(FolderOf(info.dli_fname));
    }
    std::vector<std::string> candidates;
    for (const std::string& folder : folders) {
      if (folder.empty()) continue;
      candidates.push_back(folder + kHelperName);
      candidates.push_back(folder + "../libexec/velmorane/" + kHelperName);
    }
#ifdef VELMORANE_SVG_HELPER_INSTALLED
    candidates.emplace_back(VELMORANE_SVG_HELPER_INSTALLED);
#endif
#ifdef VELMORANE_SVG_HELPER_BUILT
    candidates.emplace_back(VELMORANE_SVG_HELPER_BUILT);
#endif
    for (const std::string& candidate : candidates) {
      if (IsExecutableFile(candidate)) return candidate;
    }
    return std::string();
  }();
  return path;
}

SvgOutcome RenderSvgInChild(std::string_view svg, int asked_width, int asked_height,
                            const SvgLimits& limits, DecodedPicture& out) {
  const std::string& helper = SvgHelperPath();
  if (svg.empty() || helper.empty() || limits.wall_milliseconds <= 0) return SvgOutcome::kUnreadable;
  // The drawing goes in and the pixels come out through files in memory that the child
  // gets as its standard input and output: nothing in the work folder, no pipe that
  // could block either side or raise SIGPIPE here.
  const Descriptor input(::memfd_create("velmorane-svg-in", MFD_CLOEXEC));
  const Descriptor output(::memfd_create("velmorane-svg-out", MFD_CLOEXEC));
  const Descriptor null_device(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  if (input.get() < 0 || output.get() < 0 || null_device.get() < 0 ||
      !WriteAll(input.get(), svg.data(), svg.size()) || ::lseek(input.get(), 0, SEEK_SET) != 0) {
    return SvgOutcome::kUnreadable;
  }
  // Everything the child uses is made before the fork.
  std::string width_text = std::to_string(asked_width), height_text = std::to_string(asked_height);
  std::string program = helper;
  char* const argv[] = {program.data(), width_text.data(), height_text.data(), nullptr};
  // Limits only ever go down: a process whose own hard limit is lower keeps it.
  auto lowered = [](int resource, rlim_t soft, rlim_t hard) {
    rlimit current{};
    if (::getrlimit(resource, &current) == 0 && current.rlim_max != RLIM_INFINITY) {
      hard = std::min(hard, current.rlim_max);
      soft = std::min(soft, hard);
    }
    return rlimit{soft, hard};
  };
  const rlim_t cpu = static_cast<rlim_t>(std::max(1, limits.cpu_seconds));
  // SIGXCPU at the soft limit, SIGKILL a second later.
  const rlimit cpu_limit = lowered(RLIMIT_CPU, cpu, cpu + 1);
  const rlim_t memory = static_cast<rlim_t>(limits.address_space_bytes);
  const rlimit memory_limit = lowered(RLIMIT_AS, memory, memory);
  const rlimit no_core{0, 0};
  sigset_t no_signals;
  sigemptyset(&no_signals);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(limits.wall_milliseconds);

  const pid_t pid = ::fork();
  if (pid < 0) return SvgOutcome::kUnreadable;
  if (pid == 0) {
    // The child of a process that may run other threads (the window, the C interface,
    // parallel folder runs): a lock another thread held at the fork (malloc's, stdio's,
    // the loader's, GLib's) stays taken here for ever. So only async-signal-safe calls
    // until execve, which starts the helper afresh; librsvg is opened only there.
    if (::dup2(input.get(), 0) < 0 || ::dup2(output.get(), 1) < 0 ||
        ::dup2(null_device.get(), 2) < 0 || ::setrlimit(RLIMIT_CPU, &cpu_limit) != 0) {
      ::_exit(127);
    }
#ifndef VELMORANE_ADDRESS_SANITIZER
    // (A helper built with the address sanitizer maps terabytes of shadow memory at its
    // start: it runs without this limit, and its time limits still hold.)
    if (::setrlimit(RLIMIT_AS, &memory_limit) != 0) ::_exit(127);
#else
    (void)memory_limit;
#endif
    ::setrlimit(RLIMIT_CORE, &no_core);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::sigprocmask(SIG_SETMASK, &no_signals, nullptr);
    ::close_range(3, ~0U, 0);
    ::execve(argv[0], argv, environ);
    ::_exit(127);
  }
  int status = 0;
  if (WaitOrKill(pid, deadline, status)) return SvgOutcome::kTooSlow;
  if (status != -1 && WIFSIGNALED(status)) {
    const int signal = WTERMSIG(status);
    if (signal == SIGXCPU || signal == SIGKILL) return SvgOutcome::kTooSlow;
    return SvgOutcome::kTooLarge;  // an abort on a failed allocation, or a fault near it
  }
  if (status != -1 && (!WIFEXITED(status) || WEXITSTATUS(status) != 0)) return SvgOutcome::kUnreadable;
  return ReadHelperPicture(output.get(), out) ? SvgOutcome::kDrawn : SvgOutcome::kUnreadable;
}

int RunSvgHelper(const ChooseSvgSize& choose) {
  std::string svg;
  char block[65536];
  for (;;) {
    const ssize_t got = ::read(0, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return 1;
    if (got == 0) break;
    svg.append(block, static_cast<std::size_t>(got));
  }
  double own_width = 0, own_height = 0;
  if (!ReadSvgSize(svg, own_width, own_height)) own_width = own_height = 0;
  int width = 0, height = 0;
  choose(own_width, own_height, width, height);
  DecodedPicture picture;
  if (!RenderSvg(svg, width, height, picture)) return 1;
  char header[8];
  PutLe32(header, static_cast<std::uint32_t>(picture.width));
  PutLe32(header + 4, static_cast<std::uint32_t>(picture.height));
  if (!WriteAll(1, header, sizeof header) ||
      !WriteAll(1, reinterpret_cast<const char*>(picture.bgr.data()), picture.bgr.size())) {
    return 1;
  }
  return 0;
}

}  // namespace velmorane
