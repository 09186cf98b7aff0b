// Batch runs with several workers: the host hears the same calls in the same order as in
// a run with one worker, outputs are the same, and no output is written twice at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "frontends/batch/batch.h"
#include "platform/files.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

namespace fs = std::filesystem;

// Writes down every host call, with the output folder replaced by "<out>", and notes a
// call made from any thread but the one that created it.
class RecordingHost : public BatchHost {
 public:
  explicit RecordingHost(std::string out) : out_(std::move(out)) {}

  void ShowMessage(std::string_view title, std::string_view text) override {
    Note("message " + std::string(title) + "|" + std::string(text));
  }
  bool AskYesNo(std::string_view title, std::string_view text) override {
    Note("yes/no " + std::string(title) + "|" + std::string(text));
    return true;
  }
  OverwriteChoice AskOverwrite(std::string_view file_name, std::string& rename_to) override {
    questions.push_back(std::string(file_name) + "|" + rename_to);
    Note("ask " + questions.back());
    if (choices.empty()) return OverwriteChoice::kRename;
    const OverwriteChoice choice = choices.front();
    choices.pop_front();
    return choice;
  }
  void SetCurrentFile(std::string_view path) override { Note("file " + std::string(path)); }
  void SetTotalRange(long long maximum) override { Note("range " + std::to_string(maximum)); }
  void SetTotalPosition(long long position) override {
    Note("position " + std::to_string(position));
  }
  void SetTotalPercent(std::string_view text) override { Note("percent " + std::string(text)); }
  void SetTotalText(std::string_view text) override { Note("text " + std::string(text)); }
  void FileMessage(std::string_view input, MessageKind kind, std::string_view text) override {
    const char* what = kind == MessageKind::kWarning ? "warning " : "note ";
    Note(what + std::string(input) + " " + std::string(text));
  }
  void FileConverted(std::string_view input, std::string_view output,
                     ConvertResult result) override {
    Note("converted " + std::string(input) + " -> " + std::string(output) + " " +
         std::to_string(static_cast<int>(result)));
  }

  std::deque<OverwriteChoice> choices;
  std::vector<std::string> calls, questions;
  bool foreign_thread = false;

 private:
  void Note(std::string call) {
    if (std::this_thread::get_id() != owner_) foreign_thread = true;
    for (std::size_t at; (at = call.find(out_)) != std::string::npos;) {
      call.replace(at, out_.size(), "<out>/");
    }
    calls.push_back(std::move(call));
  }
  std::string out_;
  std::thread::id owner_ = std::this_thread::get_id();
};

// Shared by a converter and its clones: which outputs are being written right now.
struct Monitor {
  std::mutex mutex;
  std::set<std::string> writing;
  bool overlap = false;
  int clones = 0;
};

// Converts like the engine does with the file system (input read first, an existing
// output kept on request, an empty input leaving an empty output) but writes the input's
// bytes behind a marker, after a random pause.
class SleepyConverter : public FileConverter {
 public:
  SleepyConverter(std::shared_ptr<Monitor> monitor, unsigned seed)
      : monitor_(std::move(monitor)), random_(seed) {}

  ConvertResult Convert(const std::string& input_path, std::string& output_target,
                        bool keep_existing_output, ProgressSink*,
                        MessageSink* messages) override {
    std::string bytes;
    if (IsDirectory(input_path) || !ReadBinaryFile(input_path, bytes)) {
      return ConvertResult::kCannotOpenInput;
    }
    const std::string output = PlanOutput(input_path, output_target).path;
    if (keep_existing_output && FileExists(output)) {
      output_target = output;
      return ConvertResult::kOutputExists;
    }
    // Pages with a 2 in their name leave two pictures out.
    const std::string stem = fs::path(input_path).stem().string();
    if (messages != nullptr && stem.find('2') != std::string::npos) {
      messages->Message(MessageKind::kWarning, "first picture");
      messages->Message(MessageKind::kNote, "a decoder's note");
      messages->Message(MessageKind::kWarning, "second picture");
    }
    {
      std::lock_guard<std::mutex> lock(monitor_->mutex);
      if (!monitor_->writing.insert(output).second) monitor_->overlap = true;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random_() % 3000));
    const bool written = WriteBinaryFile(output, bytes.empty() ? "" : "converted:" + bytes);
    {
      std::lock_guard<std::mutex> lock(monitor_->mutex);
      monitor_->writing.erase(output);
    }
    if (!written) return ConvertResult::kCannotCreateOutput;
    return bytes.empty() ? ConvertResult::kInputEmpty : ConvertResult::kDone;
  }

  OutputPlan PlanOutput(const std::string& input_path, const std::string& output_target) override {
    OutputPlan plan;
    plan.known = true;
    plan.input_opens = !IsDirectory(input_path) && FileExists(input_path);
    if (output_target.size() > 4 && output_target.ends_with(".rtf")) {
      plan.path = output_target;
    } else {
      plan.path = output_target + fs::path(input_path).stem().string() + ".rtf";
    }
    return plan;
  }

  std::unique_ptr<FileConverter> Clone() const override {
    std::lock_guard<std::mutex> lock(monitor_->mutex);
    const int clone = ++monitor_->clones;
    return std::make_unique<SleepyConverter>(monitor_, 7919u * static_cast<unsigned>(clone));
  }

 private:
  std::shared_ptr<Monitor> monitor_;
  std::minstd_rand random_;
};

void Write(const std::string& path, std::string_view bytes) {
  fs::create_directories(fs::path(path).parent_path());
  ASSERT_TRUE(WriteBinaryFile(path, bytes));
}

// Every file below `folder` by its relative path, with its bytes.
std::map<std::string, std::string> Contents(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::string bytes;
    EXPECT_TRUE(ReadBinaryFile(entry.path().string(), bytes));
    files[fs::relative(entry.path(), folder).string()] = bytes;
  }
  return files;
}

// A folder of many small pages: some that cannot be opened, an empty one, and the same
// name in several subfolders.
std::string MakeSite() {
  const std::string in = testing::MakeTempFolder();
  for (int i = 0; i < 40; ++i) {
    Write(in + "p" + std::to_string(i) + ".htm", "<p>" + std::to_string(i));
  }
  for (const char* broken : {"p13.htm", "p27.htm"}) {
    fs::remove(in + broken);
    fs::create_symlink(in + "missing", in + broken);
  }
  Write(in + "p31.htm", "");
  for (const std::string folder : {"a", "b", "b/c", "d"}) {
    Write(in + folder + "/index.htm", "<p>" + folder);
    Write(in + folder + "/" + folder.back() + "x.htm", "<p>x");
  }
  Write(in + "index.htm", "<p>top");
  return in;
}

struct ParallelCase {
  std::string_view name;
  bool subfolders;
  std::vector<std::string> existing;  // outputs present before the run
  std::deque<OverwriteChoice> choices;
  std::vector<std::string> questions;  // with "<in>" for the input folder's name
};

TEST(BatchParallel, SameHostCallsAndOutputsAsOneWorker) {
  const ParallelCase cases[] = {
      {"one folder: failures reported in order", false, {"p5.rtf"}, {}, {}},
      {"tree: same names renamed, an old output asked about in order",
       true,
       {"p20.rtf"},
       {OverwriteChoice::kOverwrite},
       {"p20.rtf|p20(DIR <in>).rtf", "index.rtf|index(DIR a).rtf", "index.rtf|index(DIR b).rtf",
        "index.rtf|index(DIR c).rtf", "index.rtf|index(DIR d).rtf"}},
      {"tree: overwrite all sends every index to one output",
       true,
       {"p3.rtf"},
       {OverwriteChoice::kOverwriteAll},
       {"p3.rtf|p3(DIR <in>).rtf"}},
      {"tree: skip all after the first question",
       true,
       {},
       {OverwriteChoice::kSkipAll},
       {"index.rtf|index(DIR a).rtf"}},
      {"tree: stop at the second question",
       true,
       {"p8.rtf"},
       {OverwriteChoice::kSkip, OverwriteChoice::kStop},
       {"p8.rtf|p8(DIR <in>).rtf", "index.rtf|index(DIR a).rtf"}},
  };
  const std::string in = MakeSite();
  const std::string in_name = fs::path(in).parent_path().filename().string();
  for (const ParallelCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> calls[2];
    std::map<std::string, std::string> outputs[2];
    const int jobs[2] = {1, 4};
    for (int run = 0; run < 2; ++run) {
      const std::string out = testing::MakeTempFolder();
      for (const std::string& name : c.existing) Write(out + name, "old");
      auto monitor = std::make_shared<Monitor>();
      SleepyConverter converter(monitor, 1);
      RecordingHost host(out);
      host.choices = c.choices;
      BatchRequest request{in, out, true, c.subfolders, ".rtf"};
      request.jobs = jobs[run];
      RunBatch(request, converter, host);
      EXPECT_FALSE(host.foreign_thread);
      EXPECT_FALSE(monitor->overlap) << "two conversions wrote one output at once";
      EXPECT_EQ(monitor->clones, run == 0 ? 0 : 4);
      std::vector<std::string> want;
      for (std::string question : c.questions) {
        if (const auto at = question.find("<in>"); at != std::string::npos) {
          question.replace(at, 4, in_name);
        }
        want.push_back(question);
      }
      EXPECT_EQ(host.questions, want) << "jobs " << jobs[run];
      calls[run] = host.calls;
      outputs[run] = Contents(out);
    }
    for (std::size_t i = 0; i < std::max(calls[0].size(), calls[1].size()); ++i) {
      const std::string one = i < calls[0].size() ? calls[0][i] : "(none)";
      const std::string two = i < calls[1].size() ? calls[1][i] : "(none)";
      if (one != two) {
        ADD_FAILURE() << "call " << i << ": " << one << " | " << two;
        break;
      }
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    EXPECT_GT(outputs[1].size(), 30u);
    // What a file's conversion said comes right before its result, in the order said,
    // with either number of workers.
    int warned = 0;
    for (std::size_t i = 2; i + 1 < calls[1].size(); ++i) {
      if (!calls[1][i].starts_with("warning ") || !calls[1][i].ends_with("second picture")) {
        continue;
      }
      ++warned;
      const std::string input = calls[1][i].substr(8, calls[1][i].rfind(" second") - 8);
      EXPECT_EQ(calls[1][i - 2], "warning " + input + " first picture");
      EXPECT_EQ(calls[1][i - 1], "note " + input + " a decoder's note");
      EXPECT_EQ(calls[1][i + 1].rfind("converted " + input + " -> ", 0), 0u) << calls[1][i + 1];
    }
    EXPECT_GT(warned, 3);
  }
}

// Raises the cancel flag in its tenth conversion and counts conversions begun later.
class CancellingConverter : public FileConverter {
 public:
  struct Shared {
    std::atomic<bool> cancel{false};
    std::atomic<int> begun{0};
    std::atomic<int> begun_after_cancel{0};
  };
  explicit CancellingConverter(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

  ConvertResult Convert(const std::string& input_path, std::string& output_target, bool,
                        ProgressSink*, MessageSink*) override {
    if (shared_->cancel.load()) ++shared_->begun_after_cancel;
    if (++shared_->begun == 10) shared_->cancel = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return WriteBinaryFile(PlanOutput(input_path, output_target).path, "done")
               ? ConvertResult::kDone
               : ConvertResult::kCannotCreateOutput;
  }
  OutputPlan PlanOutput(const std::string& input_path, const std::string& output_target) override {
    OutputPlan plan;
    plan.known = true;
    plan.path = output_target + fs::path(input_path).filename().string() + ".rtf";
    return plan;
  }
  std::unique_ptr<FileConverter> Clone() const override {
    return std::make_unique<CancellingConverter>(shared_);
  }

 private:
  std::shared_ptr<Shared> shared_;
};

TEST(BatchParallel, CancelStopsWithinTheFilesInProgress) {
  const std::string in = testing::MakeTempFolder();
  for (int i = 0; i < 120; ++i) Write(in + "f/p" + std::to_string(i) + ".htm", "<p>x");
  for (const bool subfolders : {false, true}) {
    for (const int jobs : {1, 2, 4}) {
      SCOPED_TRACE(std::string(subfolders ? "tree" : "folder") + ", jobs " +
                   std::to_string(jobs));
      const std::string out = testing::MakeTempFolder();
      auto shared = std::make_shared<CancellingConverter::Shared>();
      CancellingConverter converter(shared);
      RecordingHost host(out);
      BatchRequest request{in + "f/", out, true, subfolders, ".rtf"};
      request.jobs = jobs;
      request.cancel = &shared->cancel;
      const BatchCounters counters = RunBatch(request, converter, host);
      // Only a worker that took its file just before the flag rose may still begin it.
      EXPECT_LE(shared->begun_after_cancel.load(), jobs - 1);
      EXPECT_LT(shared->begun.load(), 10 + 64 + jobs);
      // Every file begun is finished, written and reported; none is left half done.
      EXPECT_EQ(counters.converted, shared->begun.load());
      EXPECT_EQ(static_cast<long long>(Contents(out).size()), counters.converted);
      EXPECT_EQ(host.questions.size(), 0u);
      EXPECT_FALSE(host.foreign_thread);
    }
  }
}

TEST(BatchParallel, EnginePagesAreByteIdentical) {
  const std::string in = testing::MakeTempFolder();
  for (int i = 0; i < 48; ++i) {
    Write(in + "page" + std::to_string(i) + ".html",
          "<html><body><h1>Title " + std::to_string(i) + "</h1><p style=\"color:#" +
              std::to_string(100000 + i * 1111) +
              "\">Text <b>bold</b> <i>it</i></p><ul><li>one<li>two</ul>" +
              (i % 3 == 0 ? "<table><tr><td>a<td>b</table>" : "") + "</body></html>");
  }
  BatchSettings settings;
  settings.options = testing::DefaultOptions();
  std::map<std::string, std::string> outputs[2];
  for (int run = 0; run < 2; ++run) {
    const std::string out = testing::MakeTempFolder();
    EngineConverter converter(settings);
    RecordingHost host(out);
    BatchRequest request{in, out, true, false, ".rtf"};
    request.jobs = run == 0 ? 1 : 4;
    EXPECT_EQ(RunBatch(request, converter, host).converted, 48);
    outputs[run] = Contents(out);
  }
  EXPECT_EQ(outputs[0].size(), 48u);
  EXPECT_EQ(outputs[0], outputs[1]);
}

}  // namespace
}  // namespace velmorane
