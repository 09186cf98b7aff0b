// POSIX stand-ins for the Windows text-mode files and file queries.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

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

namespace {

// Reads a regular file with one read call per chunk: no stream, no seeks. False when
// `fd` is no regular file (the stream reader takes those) or a read fails.
bool ReadRegularFile(int fd, std::string& bytes) {
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  const auto size = static_cast<std::size_t>(info.st_size);
  bytes.clear();
  bytes.reserve(size);
  AdviseHugePages(bytes);
  bytes.resize(size);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, bytes.data() + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;  // the file shrank meanwhile
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return true;
}

}  // namespace

bool ReadBinaryFile(const std::string& path, std::string& bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool read = ReadRegularFile(fd, bytes);
  ::close(fd);
  if (read) return true;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return false;
  in.seekg(0, std::ios::beg);
  bytes.clear();
  bytes.reserve(static_cast<std::size_t>(size));
  AdviseHugePages(bytes);
  bytes.resize(static_cast<std::size_t>(size));
  if (size > 0 && !in.read(bytes.data(), size)) {
    bytes.resize(static_cast<std::size_t>(in.gcount()));
  }
  return true;
}

bool ReadTextFile(const std::string& path, std::string& text) {
  std::string bytes;
  if (!ReadBinaryFile(path, bytes)) return false;
  text = FromTextMode(bytes);
  return true;
}

namespace {

bool WriteWithMode(const std::string& path, std::string_view bytes, std::ios::openmode mode) {
  std::ofstream out(path, std::ios::binary | mode);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

// Writes `text` with each LF as CR LF, converting one block at a time so a large
// document is never copied whole.
bool WriteTextWithMode(const std::string& path, std::string_view text, std::ios::openmode mode) {
  std::ofstream out(path, std::ios::binary | mode);
  if (!out) return false;
  constexpr std::size_t kBlock = 1 << 16;
  // Room for a block of line feeds only; small texts get a small buffer.
  std::string block(2 * std::min(text.size(), kBlock), '\0');
  std::size_t start = 0;
  while (start < text.size() && out) {
    const std::string_view piece = text.substr(start, kBlock);
    start += piece.size();
    char* w = block.data();
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
    out.write(block.data(), w - block.data());
  }
  out.close();
  return !out.fail();
}

}  // namespace

bool WriteTextFile(const std::string& path, std::string_view text) {
  return WriteTextWithMode(path, text, std::ios::trunc);
}

bool AppendTextFile(const std::string& path, std::string_view text) {
  return WriteTextWithMode(path, text, std::ios::app);
}

bool WriteBinaryFile(const std::string& path, std::string_view bytes) {
  return WriteWithMode(path, bytes, std::ios::trunc);
}

AppendingTextFile::AppendingTextFile(const std::string& path)
    : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666)) {}

AppendingTextFile::~AppendingTextFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool AppendingTextFile::Append(std::string_view text) {
  if (fd_ < 0) return false;
  const std::string bytes = ToTextMode(text);
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
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

}  // namespace velmorane
