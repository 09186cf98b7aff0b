// Files in text mode (reading turns CR LF into LF, writing turns LF into CR LF) and
// small file-system queries.
#ifndef VELMORANE_PLATFORM_FILES_H_
#define VELMORANE_PLATFORM_FILES_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

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
// Gives the memory behind the whole pages inside [begin, end) back to the system; they
// read as zero bytes afterwards. For buffers whose front is no longer needed.
void ReleasePages(char* begin, char* end);
// Every LF becomes CR LF.
std::string ToTextMode(std::string_view text);

// What a path names, links followed.
enum class FileKind { kMissing, kRegular, kDirectory, kOther };
FileKind KindOfFile(const std::string& path);

// Reads a whole regular file as bytes, to its end even when its size reads 0 (as files
// under /proc do). False when it cannot be opened or read, and at once for anything but
// a regular file: a FIFO, a device, a socket or a directory is never read from.
[[nodiscard]] bool ReadBinaryFile(const std::string& path, std::string& bytes);
// Reads a whole file in text mode, on the same terms.
[[nodiscard]] bool ReadTextFile(const std::string& path, std::string& text);
// Replaces `path` with a file holding `text` in text mode (see ReplacementFile).
[[nodiscard]] bool WriteTextFile(const std::string& path, std::string_view text);
// Appends `text` in text mode to a regular file, creating it when missing. A symbolic
// link or a special file at `path` is refused, never followed or waited on.
[[nodiscard]] bool AppendTextFile(const std::string& path, std::string_view text);
// Replaces `path` with a file holding `bytes` unchanged (see ReplacementFile).
[[nodiscard]] bool WriteBinaryFile(const std::string& path, std::string_view bytes);

// A file that takes the place of `path` only once it is complete. The bytes go to a
// temporary of our own in the same folder, created exclusively, which Commit renames
// over `path`; until then an existing file at `path` keeps its content, whatever stops
// the writing (a full disk, a failure, a signal). A symbolic link at `path` is replaced,
// never followed, and the other names of a hard-linked file keep their content. An
// existing regular file's permission bits carry over to the new one. The temporary is
// removed when the object goes without a Commit, and by SIGINT, SIGTERM, SIGHUP and SIGPIPE.
class ReplacementFile {
 public:
  explicit ReplacementFile(const std::string& path);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // False when the temporary could not be created (the folder is missing or not ours
  // to write): nothing can be written then.
  bool created() const { return fd_ >= 0; }
  [[nodiscard]] bool Write(std::string_view bytes);
  // Writes `text` with each LF as CR LF, a block at a time.
  [[nodiscard]] bool WriteText(std::string_view text);
  // Flushes, closes and renames the temporary over `path`. False (and `path` untouched)
  // when any write, the close or the rename failed.
  [[nodiscard]] bool Commit();
  // Drops the temporary; `path` stays as it was.
  void Discard();
  // The errno of the first failure, 0 when none.
  int error() const { return error_; }
  const std::string& temporary_path() const { return temporary_; }

 private:
  struct Registration;
  std::string path_;
  std::string temporary_;
  int fd_ = -1;
  int error_ = 0;
  Registration* registration_ = nullptr;
};

// Overwrites a file this program created itself (a temporary made with CreateNewFile or
// an exclusive name). A link or special file put in its place is refused.
[[nodiscard]] bool OverwriteOwnFile(const std::string& path, std::string_view bytes);
// The same file as a stream for a writer that works on one; null when it cannot be had.
std::FILE* OpenOwnFileForWriting(const std::string& path);
// A regular file opened for reading as a stream; null for anything else, at once.
std::FILE* OpenRegularFileForReading(const std::string& path);

// Temporaries held open: created once, then written and read back through the
// descriptor alone.
// Creates "<stem><suffix>" (or "<stem>-<k><suffix>") where that name is free in `folder`
// (ending in "/"), exclusively and without following a link, open for reading and
// writing; sets `path`. -1 when no name could be had.
int CreateFreeFile(const std::string& folder, std::string_view stem, std::string_view suffix,
                   std::string& path);
// A name "<stem><suffix>" (or "<stem>-<k><suffix>") that is free in `folder`, created
// empty and exclusively so that no later step can take it. Empty when none could be made.
std::string CreateFreeName(const std::string& folder, std::string_view stem,
                           std::string_view suffix);
// Replaces the content of the file open as `fd` with `bytes`.
[[nodiscard]] bool RewriteDescriptor(int fd, std::string_view bytes);
// The file open as `fd`, emptied, as a stream for a writer that works on one; the
// descriptor stays open when the stream is closed. Null on failure.
std::FILE* RewriteStream(int fd);
// The whole content of the file open as `fd`, from its start.
[[nodiscard]] bool ReadDescriptor(int fd, std::string& bytes);
// Up to `size` bytes of the file open as `fd` from `offset` on; the count read (0 at its
// end), -1 on failure.
long long ReadDescriptorAt(int fd, std::uint64_t offset, char* data, std::size_t size);
// Appends all of `bytes` at the position of the file open as `fd`.
[[nodiscard]] bool AppendToDescriptor(int fd, std::string_view bytes);
// A file without a name in `folder`, open for reading and writing: it goes with its
// descriptor, whatever ends the program. Where the file system cannot make one, a
// file is created exclusively and its name removed at once. -1 when neither works.
int CreateUnnamedFile(const std::string& folder);
// A stream that reads `bytes` (which must outlive it); null when none can be had.
std::FILE* OpenBytesForReading(std::string_view bytes);
// Lets the process hold as many descriptors as the system allows it (a document keeps
// one open for each of its up to 2000 pictures). Once per process; harmless when the
// limit cannot be raised.
void RaiseDescriptorLimit();

// A text-mode file held open for appending: one write per piece, for a log that gets a
// line per converted file. Each piece reaches the file when Append returns.
class AppendingTextFile {
 public:
  // Opens (creates) `path`; a file that cannot be opened, a symbolic link and a special
  // file make every Append fail.
  explicit AppendingTextFile(const std::string& path);
  ~AppendingTextFile();
  AppendingTextFile(const AppendingTextFile&) = delete;
  AppendingTextFile& operator=(const AppendingTextFile&) = delete;

  [[nodiscard]] bool Append(std::string_view text);

 private:
  int fd_ = -1;
};

// Why no file can be created in the existing folder `folder` when the folder itself
// forbids it: "permission denied" or "read-only file system"; empty otherwise.
std::string FolderRefusesFiles(const std::string& folder);

// Makes `folder` and every missing folder above it, as mkdir -p does. A folder that
// another process makes at the same moment counts as there. Appends the folders this call
// made to `made`, outermost first. False when one cannot be made (or a file is in the way).
[[nodiscard]] bool MakeFolders(const std::string& folder, std::vector<std::string>& made);
// Removes the folders of `made` that are still empty, innermost first: what a run made
// for outputs it then did not write.
void RemoveEmptyFolders(const std::vector<std::string>& made);
// The first folder of `folder` below `root` (both with or without a trailing "/") that is
// a symbolic link, without its trailing "/"; empty when there is none (or `folder` does
// not lie below `root`). Missing folders are no links.
std::string LinkBelow(const std::string& root, const std::string& folder);

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
