// Files in text mode (reading turns CR LF into LF, writing turns LF into CR LF) and
// small file-system queries.
#ifndef VELMORANE_PLATFORM_FILES_H_
#define VELMORANE_PLATFORM_FILES_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace velmorane {

// Every CR LF pair becomes LF.
std::string FromTextMode(std::string_view bytes);
// The same in place: text without CR LF pairs is neither copied nor moved.
void FromTextModeInPlace(std::string& text);

// Asks the system to back the room `buffer` has reserved with huge pages: a buffer of
// many megabytes then fills with one page fault per 2 MiB instead of per 4 KiB. Call it
// after reserving and before filling; small buffers and systems without huge pages are
// left as they are.
void AdviseHugePages(std::string& buffer);
// Every LF becomes CR LF.
std::string ToTextMode(std::string_view text);

// Reads a whole file as bytes. False when it cannot be opened or read.
[[nodiscard]] bool ReadBinaryFile(const std::string& path, std::string& bytes);
// Reads a whole file in text mode.
[[nodiscard]] bool ReadTextFile(const std::string& path, std::string& text);
// Creates (truncates) a file and writes `text` in text mode.
[[nodiscard]] bool WriteTextFile(const std::string& path, std::string_view text);
// Appends `text` in text mode, creating the file when missing.
[[nodiscard]] bool AppendTextFile(const std::string& path, std::string_view text);
// Creates (truncates) a file and writes bytes unchanged.
[[nodiscard]] bool WriteBinaryFile(const std::string& path, std::string_view bytes);

// A text-mode file held open for appending: one write per piece, for a log that gets a
// line per converted file. Each piece reaches the file when Append returns.
class AppendingTextFile {
 public:
  // Opens (creates) `path`; a file that cannot be opened makes every Append fail.
  explicit AppendingTextFile(const std::string& path);
  ~AppendingTextFile();
  AppendingTextFile(const AppendingTextFile&) = delete;
  AppendingTextFile& operator=(const AppendingTextFile&) = delete;

  [[nodiscard]] bool Append(std::string_view text);

 private:
  int fd_ = -1;
};

bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
// Size in bytes, or -1 when the file cannot be queried.
std::int64_t FileSize(const std::string& path);
// True when both paths name the same existing file.
bool SameFile(const std::string& a, const std::string& b);

// Creates `path` only if it does not exist yet (O_EXCL) and writes `bytes`. False when
// the name is taken or the file cannot be written.
[[nodiscard]] bool CreateNewFile(const std::string& path, std::string_view bytes);

// True when the standard error stream is a terminal (not a file or a pipe).
bool StandardErrorIsTerminal();

// The current UTC time split into its fields.
struct UtcTime {
  int year, month, day, hour, minute, second, millisecond;
};
UtcTime NowUtc();

}  // namespace velmorane

#endif  // VELMORANE_PLATFORM_FILES_H_
