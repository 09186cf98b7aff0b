// POSIX stand-ins for the Windows text-mode files and file queries.
#include "platform/files.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>

#include "platform/temporaries.h"

namespace velmorane {

std::string FromTextMode(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  // Copy the runs between carriage returns whole; only a CR before an LF is dropped.
  std::size_t start = 0;
  for (std::size_t cr = bytes.find('\r'); cr != std::string_view::npos;
       cr = bytes.find('\r', cr + 1)) {
    if (cr + 1 < bytes.size() && bytes[cr + 1] == '\n') {
      text.append(bytes.substr(start, cr - start));
      start = cr + 1;
    }
  }
  text.append(bytes.substr(start));
  return text;
}

void FromTextModeInPlace(std::string& text) {
  std::size_t cr = text.find("\r\n");
  if (cr == std::string::npos) return;
  // Move each run between CR LF pairs down over the dropped carriage returns.
  std::size_t write = cr;
  std::size_t read = cr + 1;
  while (true) {
    const std::size_t next = text.find("\r\n", read);
    const std::size_t end = next == std::string::npos ? text.size() : next;
    std::copy(text.begin() + static_cast<std::ptrdiff_t>(read),
              text.begin() + static_cast<std::ptrdiff_t>(end),
              text.begin() + static_cast<std::ptrdiff_t>(write));
    write += end - read;
    if (next == std::string::npos) break;
    read = next + 1;
  }
  text.resize(write);
}

std::string ToTextMode(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 16 + 16);
  std::size_t start = 0;
  for (std::size_t lf = text.find('\n'); lf != std::string_view::npos;
       lf = text.find('\n', start)) {
    bytes.append(text.substr(start, lf - start));
    bytes += "\r\n";
    start = lf + 1;
  }
  bytes.append(text.substr(start));
  return bytes;
}

void AdviseHugePages(std::string& buffer) {
#ifdef MADV_HUGEPAGE
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  if (buffer.capacity() < 2 * kHugePage) return;
  const auto begin = reinterpret_cast<std::uintptr_t>(buffer.data());
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (begin + buffer.capacity()) & ~(kHugePage - 1);
  // Only whole huge pages inside the buffer; advice is a hint, so a refusal is ignored.
  if (last > first) (void)::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)buffer;
#endif
}

void ReleasePages(char* begin, char* end) {
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto first = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) & ~(page - 1);
  const auto last = reinterpret_cast<std::uintptr_t>(end) & ~(page - 1);
  // Advice only: memory that cannot be released stays as it is.
  if (last > first) (void)::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

namespace {

// Opens `path` without waiting on a FIFO or taking a terminal, and keeps it only when it
// is a regular file. -1 otherwise, with errno set (EINVAL for a file of another kind).
int OpenRegular(const std::string& path, int flags, mode_t mode = 0) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, mode);
  if (fd < 0) return -1;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  // Back to blocking reads and writes (a regular file ignores the flag, but a stream
  // made from the descriptor should not see it).
  const int status = ::fcntl(fd, F_GETFL);
  if (status >= 0) (void)::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  return fd;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = ::write(fd, data + written, size - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  return true;
}

// Writes `text` with each LF as CR LF through `write`, converting one block at a time
// so a large document is never copied whole.
template <typename Writer>
bool WriteTextBlocks(std::string_view text, Writer&& write) {
  constexpr std::size_t kBlock = 1 << 16;
  // Room for a block of line feeds only; small texts get a small buffer. It is left
  // uninitialised: every byte written out was written here first, and clearing up to
  // 128 KiB for each document costs more than converting a small page's line feeds.
  const std::unique_ptr<char[]> block(new char[2 * std::min(text.size(), kBlock)]);
  std::size_t start = 0;
  while (start < text.size()) {
    const std::string_view piece = text.substr(start, kBlock);
    start += piece.size();
    char* w = block.get();
    const char* p = piece.data();
    const char* const end = p + piece.size();
    while (p < end) {
      const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
      const char* const stop = lf != nullptr ? static_cast<const char*>(lf) : end;
      std::memcpy(w, p, static_cast<std::size_t>(stop - p));
      w += stop - p;
      if (stop == end) break;
      *w++ = '\r';
      *w++ = '\n';
      p = stop + 1;
    }
    if (!write(block.get(), static_cast<std::size_t>(w - block.get()))) return false;
  }
  return true;
}

}  // namespace

FileKind KindOfFile(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return FileKind::kMissing;
  if (S_ISREG(info.st_mode)) return FileKind::kRegular;
  if (S_ISDIR(info.st_mode)) return FileKind::kDirectory;
  return FileKind::kOther;
}

bool ReadBinaryFile(const std::string& path, std::string& bytes) {
  const int fd = OpenRegular(path, O_RDONLY);
  if (fd < 0) return false;
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    ::close(fd);
    return false;
  }
  // The size is where reading starts, not a limit: a file whose size reads 0 (under
  // /proc) or one that grows meanwhile is read to its end.
  std::size_t capacity = static_cast<std::size_t>(info.st_size) + 1;
  bytes.clear();
  bytes.reserve(capacity);
  AdviseHugePages(bytes);
  bytes.resize(capacity);
  std::size_t got = 0;
  bool ok = true;
  while (true) {
    if (got == bytes.size()) bytes.resize(std::max<std::size_t>(4096, 2 * bytes.size()));
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  bytes.resize(got);
  return ok;
}

bool ReadTextFile(const std::string& path, std::string& text) {
  std::string bytes;
  if (!ReadBinaryFile(path, bytes)) return false;
  text = FromTextMode(bytes);
  return true;
}

struct ReplacementFile::Registration {
  RegisteredTemporary temporary;
};

ReplacementFile::ReplacementFile(const std::string& path) : path_(path) {
  // A device, a FIFO, a socket or a folder at the name is never renamed away: replacing
  // /dev/null or a named pipe would break the system, not write a file.
  struct stat existing;
  if (::lstat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode) &&
      !S_ISLNK(existing.st_mode)) {
    error_ = S_ISDIR(existing.st_mode) ? EISDIR : EEXIST;
    return;
  }
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  // A name of our own: the process and a counter make it unlikely to be taken, and the
  // exclusive create makes sure it is not.
  static std::atomic<unsigned> counter{0};
  // A stopping signal between the create and the registration would leave the file behind:
  // the signals that remove temporaries wait until it is registered.
  sigset_t stopping, before;
  sigemptyset(&stopping);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    sigaddset(&stopping, signal_number);
  }
  pthread_sigmask(SIG_BLOCK, &stopping, &before);
  struct Unblock {
    const sigset_t* mask;
    ~Unblock() { pthread_sigmask(SIG_SETMASK, mask, nullptr); }
  } unblock{&before};
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    const unsigned n = counter.fetch_add(1);
    char name[64];
    std::snprintf(name, sizeof name, ".velmorane-%ld-%u.tmp", static_cast<long>(::getpid()), n);
    temporary_ = folder + name;
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    error_ = errno;
    temporary_.clear();
    return;
  }
  registration_ = new Registration;
  registration_->temporary.Register(temporary_);
  // The new file keeps the permission bits of the regular file it replaces.
  struct stat old;
  if (::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    (void)::fchmod(fd_, old.st_mode & 07777);
  }
}

ReplacementFile::~ReplacementFile() {
  Discard();
  delete registration_;
}

bool ReplacementFile::Write(std::string_view bytes) {
  if (fd_ < 0 || error_ != 0) {
    if (error_ == 0) error_ = EBADF;
    return false;
  }
  if (!WriteAll(fd_, bytes.data(), bytes.size())) {
    error_ = errno;
    return false;
  }
  return true;
}

bool ReplacementFile::WriteText(std::string_view text) {
  return WriteTextBlocks(text, [this](const char* data, std::size_t size) {
    return Write(std::string_view(data, size));
  });
}

bool ReplacementFile::Commit() {
  if (fd_ < 0) {
    if (error_ == 0) error_ = EBADF;
    return false;
  }
  // fdatasync would cost a disk flush per file; a crash of the whole system may leave
  // the new file empty, but a failing program never leaves a cut one.
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && error_ == 0) error_ = errno;
  if (error_ == 0 && ::rename(temporary_.c_str(), path_.c_str()) != 0) error_ = errno;
  if (error_ != 0) {
    RemoveTemporary(temporary_, registration_->temporary);
    temporary_.clear();
    return false;
  }
  registration_->temporary.Release();
  temporary_.clear();
  return true;
}

void ReplacementFile::Discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temporary_.empty()) {
    RemoveTemporary(temporary_, registration_->temporary);
    temporary_.clear();
  }
}

bool WriteTextFile(const std::string& path, std::string_view text) {
  ReplacementFile file(path);
  return file.WriteText(text) && file.Commit();
}

bool WriteBinaryFile(const std::string& path, std::string_view bytes) {
  ReplacementFile file(path);
  return file.Write(bytes) && file.Commit();
}

bool AppendTextFile(const std::string& path, std::string_view text) {
  const int fd = OpenRegular(path, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW, 0666);
  if (fd < 0) return false;
  const bool written = WriteTextBlocks(
      text, [fd](const char* data, std::size_t size) { return WriteAll(fd, data, size); });
  return ::close(fd) == 0 && written;
}

bool OverwriteOwnFile(const std::string& path, std::string_view bytes) {
  const int fd = OpenRegular(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0666);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, bytes.data(), bytes.size());
  return ::close(fd) == 0 && written;
}

std::FILE* OpenOwnFileForWriting(const std::string& path) {
  const int fd = OpenRegular(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) ::close(fd);
  return file;
}

std::FILE* OpenRegularFileForReading(const std::string& path) {
  const int fd = OpenRegular(path, O_RDONLY);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) ::close(fd);
  return file;
}

int CreateFreeFile(const std::string& folder, std::string_view stem, std::string_view suffix,
                   std::string& path) {
  constexpr int kMaxTries = 10000;
  RaiseDescriptorLimit();
  for (int k = 1; k <= kMaxTries; ++k) {
    std::string name(stem);
    if (k > 1) name += "-" + std::to_string(k);
    name += suffix;
    const std::string candidate = folder + name;
    const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) {
      path = candidate;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

bool RewriteDescriptor(int fd, std::string_view bytes) {
  if (::ftruncate(fd, 0) != 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                               static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::FILE* RewriteStream(int fd) {
  if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) return nullptr;
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return nullptr;
  std::FILE* file = ::fdopen(copy, "w+b");
  if (file == nullptr) ::close(copy);
  return file;
}

bool ReadDescriptor(int fd, std::string& bytes) {
  struct stat info;
  if (fd < 0 || ::fstat(fd, &info) != 0) return false;
  bytes.clear();
  bytes.resize(static_cast<std::size_t>(info.st_size));
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return true;
}

long long ReadDescriptorAt(int fd, std::uint64_t offset, char* data, std::size_t size) {
  while (true) {
    const ssize_t n = ::pread(fd, data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

bool AppendToDescriptor(int fd, std::string_view bytes) {
  return WriteAll(fd, bytes.data(), bytes.size());
}

int CreateUnnamedFile(const std::string& folder) {
  const std::string where = folder.empty() ? std::string(".") : folder;
#if defined(O_TMPFILE)
  const int fd = ::open(where.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
#endif
  std::string path;
  const int named = CreateFreeFile(where.back() == '/' ? where : where + "/", ".velmorane-spill",
                                   ".tmp", path);
  if (named >= 0) (void)::unlink(path.c_str());
  return named;
}

std::FILE* OpenBytesForReading(std::string_view bytes) {
  if (bytes.empty()) return nullptr;  // fmemopen takes no empty buffer
  return ::fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
}

void RaiseDescriptorLimit() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    constexpr rlim_t kEnough = 1 << 16;
    const rlim_t wanted = limit.rlim_max == RLIM_INFINITY ? kEnough : std::min(limit.rlim_max, kEnough);
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
      limit.rlim_cur = wanted;
      (void)::setrlimit(RLIMIT_NOFILE, &limit);
    }
  });
}

AppendingTextFile::AppendingTextFile(const std::string& path)
    : fd_(OpenRegular(path, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW, 0666)) {}

AppendingTextFile::~AppendingTextFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool AppendingTextFile::Append(std::string_view text) {
  if (fd_ < 0) return false;
  const std::string bytes = ToTextMode(text);
  return WriteAll(fd_, bytes.data(), bytes.size());
}

bool FileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

bool MakeFolders(const std::string& folder, std::vector<std::string>& made) {
  std::string path;
  std::size_t at = 0;
  while (at < folder.size()) {
    const std::size_t slash = std::min(folder.find('/', at), folder.size());
    path.assign(folder, 0, slash);
    at = slash + 1;
    if (path.empty() || path.back() == '/' || path.ends_with("/.") || path == ".") continue;
    if (::mkdir(path.c_str(), 0777) == 0) {
      made.push_back(path);
    } else if (errno != EEXIST || !IsDirectory(path)) {
      // EEXIST: there already, or made by another run just now; a file there is no folder.
      return false;
    }
  }
  return true;
}

void RemoveEmptyFolders(const std::vector<std::string>& made) {
  for (std::size_t i = made.size(); i-- > 0;) (void)::rmdir(made[i].c_str());
}

std::string LinkBelow(const std::string& root, const std::string& folder) {
  std::string top = root;
  while (top.size() > 1 && top.back() == '/') top.pop_back();
  if (folder.size() <= top.size() || folder.compare(0, top.size(), top) != 0 ||
      folder[top.size()] != '/') {
    return {};
  }
  std::size_t at = top.size() + 1;
  while (at < folder.size()) {
    const std::size_t slash = std::min(folder.find('/', at), folder.size());
    const std::string path = folder.substr(0, slash);
    at = slash + 1;
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) return {};  // missing: made by us later
    if (S_ISLNK(info.st_mode)) return path;
  }
  return {};
}

std::string FolderRefusesFiles(const std::string& folder) {
  if (!IsDirectory(folder.empty() ? std::string(".") : folder)) return {};
  if (::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0) return {};
  if (errno == EACCES || errno == EPERM) return "permission denied";
  if (errno == EROFS) return "read-only file system";
  return {};
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::int64_t FileSize(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return -1;
  return static_cast<std::int64_t>(info.st_size);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool CreateNewFile(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n <= 0) {
      ::close(fd);
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  return ::close(fd) == 0;
}

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

UtcTime NowUtc() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm parts{};
  ::gmtime_r(&seconds, &parts);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
      1000;
  return UtcTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                 parts.tm_min,         parts.tm_sec,     static_cast<int>(millis)};
}

std::string CreateFreeName(const std::string& folder, std::string_view stem,
                           std::string_view suffix) {
  std::string path;
  const int fd = CreateFreeFile(folder, stem, suffix, path);
  if (fd < 0) return {};
  ::close(fd);
  return path;
}

}  // namespace velmorane
