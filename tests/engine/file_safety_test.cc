// What a conversion does to the files around it: an output replaced only when complete,
// links never followed, only regular files read, no temporary left behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "platform/files.h"
#include "platform/temporaries.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;
namespace fs = std::filesystem;

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Writes larger than `bytes` fail with EFBIG for the life of the object, as on a disk
// that is full: the fault the output must survive.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previous_handler_ = ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limit = previous_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    ::signal(SIGXFSZ, previous_handler_);
  }

 private:
  rlimit previous_{};
  sighandler_t previous_handler_;
};

TEST(ReplacementFile, OldContentStaysUntilCommit) {
  const std::string folder = testing::MakeTempFolder();
  const std::string path = folder + "out.rtf";
  WriteBytes(path, "old");
  {
    ReplacementFile file(path);
    ASSERT_TRUE(file.created());
    ASSERT_TRUE(file.Write("new"));
    EXPECT_EQ(ReadBytes(path), "old");
    EXPECT_EQ(FolderNames(folder).size(), 2u);  // the output and our temporary
  }  // not committed: dropped
  EXPECT_EQ(ReadBytes(path), "old");
  EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"out.rtf"});

  ReplacementFile file(path);
  ASSERT_TRUE(file.WriteText("a\nb"));
  ASSERT_TRUE(file.Commit());
  EXPECT_EQ(ReadBytes(path), "a\r\nb");
  EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"out.rtf"});
}

TEST(ReplacementFile, LinksAreReplacedNeverFollowed) {
  const std::string folder = testing::MakeTempFolder();
  WriteBytes(folder + "target.txt", "the link's target");
  fs::create_symlink(folder + "target.txt", folder + "link.rtf");
  WriteBytes(folder + "shared.rtf", "shared content");
  fs::create_hard_link(folder + "shared.rtf", folder + "other-name.rtf");

  ASSERT_TRUE(WriteTextFile(folder + "link.rtf", "new"));
  ASSERT_TRUE(WriteTextFile(folder + "shared.rtf", "new"));
  EXPECT_FALSE(fs::is_symlink(folder + "link.rtf"));
  EXPECT_EQ(ReadBytes(folder + "link.rtf"), "new");
  EXPECT_EQ(ReadBytes(folder + "target.txt"), "the link's target");
  EXPECT_EQ(ReadBytes(folder + "shared.rtf"), "new");
  EXPECT_EQ(ReadBytes(folder + "other-name.rtf"), "shared content");

  // Appending (logs) refuses a link rather than writing through it.
  fs::create_symlink(folder + "target.txt", folder + "log.txt");
  EXPECT_FALSE(AppendTextFile(folder + "log.txt", "line\n"));
  AppendingTextFile log(folder + "log.txt");
  EXPECT_FALSE(log.Append("line\n"));
  EXPECT_EQ(ReadBytes(folder + "target.txt"), "the link's target");
}

TEST(ReplacementFile, SpecialFilesAreNeverRenamedAway) {
  // Renaming over /dev/null or a named pipe would replace a system file with ours.
  const std::string folder = testing::MakeTempFolder();
  ASSERT_EQ(::mkfifo((folder + "pipe").c_str(), 0600), 0);
  fs::create_directory(folder + "folder.rtf");
  for (const char* name : {"pipe", "folder.rtf"}) {
    SCOPED_TRACE(name);
    ReplacementFile file(folder + name);
    EXPECT_FALSE(file.created());
    EXPECT_FALSE(WriteTextFile(folder + name, "text"));
  }
  EXPECT_TRUE(fs::is_fifo(folder + "pipe"));
  EXPECT_TRUE(fs::is_directory(folder + "folder.rtf"));
  EXPECT_EQ(FolderNames(folder), (std::vector<std::string>{"folder.rtf", "pipe"}));
}

TEST(ReplacementFile, KeepsThePermissionBitsOfTheFileItReplaces) {
  const std::string folder = testing::MakeTempFolder();
  WriteBytes(folder + "out.rtf", "old");
  ::chmod((folder + "out.rtf").c_str(), 0640);
  ASSERT_TRUE(WriteBinaryFile(folder + "out.rtf", "new"));
  struct stat info {};
  ASSERT_EQ(::stat((folder + "out.rtf").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(ReplacementFile, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  const std::string folder = testing::MakeTempFolder();
  WriteBytes(folder + "out.rtf", "old");
  {
    FileSizeLimit limit(1024);
    ReplacementFile file(folder + "out.rtf");
    ASSERT_TRUE(file.created());
    EXPECT_FALSE(file.Write(std::string(4096, 'x')));
    EXPECT_NE(file.error(), 0);
    EXPECT_FALSE(file.Commit());
  }
  EXPECT_EQ(ReadBytes(folder + "out.rtf"), "old");
  EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"out.rtf"});
}

// Each of these must fail at once: reading a FIFO without a writer used to wait forever,
// /dev/zero to read until memory ran out.
TEST(ReadBinaryFile, RefusesEverythingButRegularFilesAtOnce) {
  const std::string folder = testing::MakeTempFolder();
  ASSERT_EQ(::mkfifo((folder + "pipe.html").c_str(), 0600), 0);
  for (const std::string& path : {folder + "pipe.html", std::string("/dev/zero"),
                                 std::string("/dev/urandom"), folder, folder + "missing"}) {
    SCOPED_TRACE(path);
    std::string bytes;
    EXPECT_FALSE(ReadBinaryFile(path, bytes));
  }
  AppendingTextFile log(folder + "pipe.html");
  EXPECT_FALSE(log.Append("line\n"));
  EXPECT_EQ(KindOfFile(folder + "pipe.html"), FileKind::kOther);
  EXPECT_EQ(KindOfFile("/dev/null"), FileKind::kOther);
  EXPECT_EQ(KindOfFile(folder), FileKind::kDirectory);
}

TEST(ReadBinaryFile, ReadsFilesWhoseSizeReadsZeroToTheirEnd) {
  ASSERT_EQ(FileSize("/proc/self/status"), 0);
  std::string bytes;
  ASSERT_TRUE(ReadBinaryFile("/proc/self/status", bytes));
  EXPECT_NE(bytes.find("Pid:"), std::string::npos);
}

TEST(Temporaries, ASignalRemovesEveryRegisteredFile) {
  const std::string folder = testing::MakeTempFolder();
  const std::string a = folder + "a.tmp", b = folder + "b.tmp", kept = folder + "kept.tmp";
  for (const std::string& path : {a, b, kept}) WriteBytes(path, "x");
  for (const int signal_number : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal_number);
    for (const std::string& path : {a, b}) WriteBytes(path, "x");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      RegisteredTemporary first(a);
      TemporaryFileSet set;
      set.Add(b);
      RegisteredTemporary released(kept);
      released.Release();  // renamed into place, say: no longer ours to remove
      ::raise(signal_number);
      ::_exit(0);  // not reached: the signal ends the process
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number);
    EXPECT_FALSE(fs::exists(a));
    EXPECT_FALSE(fs::exists(b));
    EXPECT_TRUE(fs::exists(kept));
  }
}

TEST(Temporaries, TheSetRemovesWhatIsLeftAndOnlyItsOwn) {
  const std::string folder = testing::MakeTempFolder();
  WriteBytes(folder + "ours.tmp", "x");
  WriteBytes(folder + "users.tmp", "x");
  const int before = RegisteredTemporaryCount();
  {
    TemporaryFileSet set;
    set.Add(folder + "ours.tmp");
    set.Remove(folder + "users.tmp");  // not in the set: left alone
    EXPECT_EQ(RegisteredTemporaryCount(), before + 1);
  }
  EXPECT_EQ(RegisteredTemporaryCount(), before);
  EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"users.tmp"});
}

class OutputSafetyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = testing::MakeTempFolder();
    WriteBytes(folder_ + "page.html", "<p>new text</p>");
  }
  ConvertResult Convert(std::string input, std::string target) {
    ConvertRequest request;
    EngineSettings settings = testing::DefaultSettings();
    return engine_.ConvertHtmlFile(input, target, request, testing::DefaultOptions(), settings);
  }
  std::string folder_;
  Engine engine_;
};

TEST_F(OutputSafetyTest, FullDiskKeepsTheOldOutputAndSaysTheWriteFailed) {
  WriteBytes(folder_ + "page.rtf", "the good old document");
  {
    FileSizeLimit limit(100);  // the prologue alone is larger
    EXPECT_EQ(Convert(folder_ + "page.html", folder_), ConvertResult::kCannotWriteOutput);
  }
  EXPECT_EQ(ReadBytes(folder_ + "page.rtf"), "the good old document");
  EXPECT_EQ(FolderNames(folder_), (std::vector<std::string>{"page.html", "page.rtf"}));

  ASSERT_EQ(Convert(folder_ + "page.html", folder_), ConvertResult::kDone);
  EXPECT_NE(ReadBytes(folder_ + "page.rtf").find("new text"), std::string::npos);
}

TEST_F(OutputSafetyTest, OutputLinksAreReplacedAndTheirTargetsKept) {
  WriteBytes(folder_ + "elsewhere.txt", "keep me");
  fs::create_symlink(folder_ + "elsewhere.txt", folder_ + "page.rtf");
  ASSERT_EQ(Convert(folder_ + "page.html", folder_), ConvertResult::kDone);
  EXPECT_EQ(ReadBytes(folder_ + "elsewhere.txt"), "keep me");
  EXPECT_FALSE(fs::is_symlink(folder_ + "page.rtf"));

  WriteBytes(folder_ + "twin.rtf", "keep me too");
  fs::create_hard_link(folder_ + "twin.rtf", folder_ + "hard.rtf");
  ASSERT_EQ(Convert(folder_ + "page.html", folder_ + "hard.rtf"), ConvertResult::kDone);
  EXPECT_EQ(ReadBytes(folder_ + "twin.rtf"), "keep me too");

  // A link to the input itself is still the input: refused, nothing written.
  fs::create_symlink(folder_ + "page.html", folder_ + "self.rtf");
  EXPECT_EQ(Convert(folder_ + "page.html", folder_ + "self.rtf"),
            ConvertResult::kCannotCreateOutput);
  EXPECT_EQ(ReadBytes(folder_ + "page.html"), "<p>new text</p>");
}

TEST_F(OutputSafetyTest, SpecialInputsFailAtOnceAndWriteNothing) {
  ASSERT_EQ(::mkfifo((folder_ + "pipe.html").c_str(), 0600), 0);
  for (const std::string& input : {folder_ + "pipe.html", std::string("/dev/zero")}) {
    SCOPED_TRACE(input);
    EXPECT_EQ(Convert(input, folder_ + "out.rtf"), ConvertResult::kCannotOpenInput);
    EXPECT_FALSE(fs::exists(folder_ + "out.rtf"));
  }
}

TEST_F(OutputSafetyTest, EmptyInputWritesNothingAndKeepsAnEarlierOutput) {
  WriteBytes(folder_ + "empty.html", "");
  EXPECT_EQ(Convert(folder_ + "empty.html", folder_), ConvertResult::kInputEmpty);
  EXPECT_EQ(FolderNames(folder_), (std::vector<std::string>{"empty.html", "page.html"}));
  WriteBytes(folder_ + "empty.rtf", "{\\rtf1 earlier}");
  EXPECT_EQ(Convert(folder_ + "empty.html", folder_), ConvertResult::kInputEmpty);
  EXPECT_EQ(ReadBytes(folder_ + "empty.rtf"), "{\\rtf1 earlier}");
  EXPECT_EQ(FolderNames(folder_), (std::vector<std::string>{"empty.html", "empty.rtf", "page.html"}));
}

TEST(OutputFolders, MadeAsMkdirPAndLeftEmptyOnesRemoved) {
  const std::string top = testing::MakeTempFolder();
  std::vector<std::string> made;
  ASSERT_TRUE(MakeFolders(top + "a/b/c/", made));
  EXPECT_EQ(made, (std::vector<std::string>{top + "a", top + "a/b", top + "a/b/c"}));
  // Already there: nothing new, no failure.
  std::vector<std::string> again;
  ASSERT_TRUE(MakeFolders(top + "a/b", again));
  EXPECT_TRUE(again.empty());
  // A file in the way is no folder.
  WriteBytes(top + "file", "x");
  std::vector<std::string> blocked;
  EXPECT_FALSE(MakeFolders(top + "file/sub", blocked));
  // Only the empty ones go, innermost first; a folder holding a file stays.
  WriteBytes(top + "a/kept.txt", "x");
  RemoveEmptyFolders(made);
  EXPECT_TRUE(IsDirectory(top + "a"));
  EXPECT_FALSE(fs::exists(top + "a/b"));
}

TEST(OutputFolders, LinksBelowTheRoot) {
  const std::string top = testing::MakeTempFolder();
  fs::create_directories(top + "out/real/deeper");
  fs::create_directories(top + "elsewhere");
  fs::create_directory_symlink(top + "elsewhere", top + "out/link");
  fs::create_directory_symlink(top + "out", top + "outlink");
  const struct {
    std::string_view name;
    std::string root, folder, want;
  } kCases[] = {
      {"a real tree", top + "out/", top + "out/real/deeper/", ""},
      {"a link below the root", top + "out/", top + "out/link/x/", top + "out/link"},
      {"a link as the last folder", top + "out", top + "out/link", top + "out/link"},
      {"the root itself may be a link", top + "outlink/", top + "outlink/real/", ""},
      {"missing folders are no links", top + "out/", top + "out/new/newer/", ""},
      {"a folder beside the root is not below it", top + "out", top + "outlink/real", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LinkBelow(c.root, c.folder), c.want);
  }
}

}  // namespace
}  // namespace velmorane
