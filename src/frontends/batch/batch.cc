// The Convert command of the window without the window: planning the files of a folder
// or folder tree, converting them in order, counting, and the messages and questions.
#include "frontends/batch/batch.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "base/append.h"
#include "base/paths.h"
#include "frontends/batch/workers.h"
#include "html/shown_text.h"
#include "platform/files.h"

namespace velmorane {

namespace {

// A rename typed into the Warning dialog is cut to this length.
constexpr std::size_t kMaxRenameLength = 259;

struct DirectoryEntry {
  std::string name;
  bool is_folder;
};

// The entries of a folder in name order ("." and ".." are never listed). `error` tells
// why a folder could not be listed.
bool ListEntries(const std::string& folder, std::vector<DirectoryEntry>& entries,
                 std::error_code& error) {
  std::filesystem::directory_iterator it(folder, error);
  if (error) return false;
  for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
    if (error) break;
    std::error_code kind_error;
    // A link to a folder is a folder; a dangling link is a file that will not open.
    const bool is_folder = it->is_directory(kind_error);
    // FIFOs, devices and sockets are no pages: a run never waits on one.
    if (it->is_fifo(kind_error) || it->is_socket(kind_error) || it->is_block_file(kind_error) ||
        it->is_character_file(kind_error)) {
      continue;
    }
    entries.push_back({it->path().filename().string(), is_folder});
  }
  std::sort(entries.begin(), entries.end(),
            [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
  return true;
}

void PlanInto(const std::string& folder, bool subfolders, std::vector<PlanStep>& steps,
              std::set<std::string>& visited, bool& listed,
              std::vector<LeftOutFolder>* left_out) {
  std::error_code error;
  std::string identity = std::filesystem::weakly_canonical(folder, error).string();
  if (error) identity = folder;
  if (!visited.insert(identity).second) return;  // reached again through a link
  std::vector<DirectoryEntry> entries;
  listed = ListEntries(folder, entries, error);
  if (!listed) {
    if (left_out != nullptr) {
      left_out->push_back({folder, error == std::errc::filename_too_long
                                       ? "its path is too long"
                                       : "it cannot be read"});
    }
    return;
  }
  PlanStep enter{PlanStep::Kind::kFolder, folder, 0};
  for (const DirectoryEntry& e : entries) {
    if (!e.is_folder && IsHtmlFileName(e.name)) ++enter.html_files;
  }
  steps.push_back(enter);
  // The files of a folder come before its subfolders, so a name met again deeper in the
  // tree is the one that gets the folder suggestion.
  for (const DirectoryEntry& e : entries) {
    if (!e.is_folder && IsHtmlFileName(e.name)) {
      steps.push_back({PlanStep::Kind::kFile, folder + e.name, 0});
    }
  }
  for (const DirectoryEntry& e : entries) {
    if (!subfolders) break;
    if (!e.is_folder || e.name.empty() || e.name[0] == '.') continue;
    bool sub_listed = false;
    PlanInto(folder + e.name + "/", true, steps, visited, sub_listed, left_out);
  }
}

const char* PluralS(long long count) { return count == 1 ? "" : "s"; }

// The output file an input would get in `output_folder`, for error messages.
std::string OutputPathFor(std::string_view input_path, const std::string& output_folder,
                          std::string_view extension) {
  std::string name(FileNameOf(input_path));
  if (const std::size_t dot = name.rfind('.'); dot != std::string::npos) name.resize(dot);
  return output_folder + name + std::string(extension);
}

}  // namespace

std::string FileErrorMessage(ConvertResult result, const std::string& input_path,
                             const std::string& output_folder, std::string_view extension) {
  switch (result) {
    case ConvertResult::kNoMemory:
      return "Not enougth memory";
    case ConvertResult::kCannotCreateOutput: {
      const std::string output = ShownText(OutputPathFor(input_path, output_folder, extension));
      if (!output_folder.empty() && !IsDirectory(output_folder)) {
        return StringF("Can't open %s file for record: the folder %s is gone.", output.c_str(),
                       ShownText(output_folder).c_str());
      }
      if (const std::string reason = FolderRefusesFiles(output_folder); !reason.empty()) {
        return StringF("Can't open %s file for record: %s.", output.c_str(), reason.c_str());
      }
      return StringF(
          "Can't open %s file for record.\nProbably it is already used by other application.",
          output.c_str());
    }
    case ConvertResult::kCannotOpenInput:
      return StringF("Can't open %s file for reading.", ShownText(input_path).c_str());
    case ConvertResult::kInputEmpty:
      return StringF("%s file has zero length.", ShownText(input_path).c_str());
    case ConvertResult::kCannotWriteOutput: {
      const std::string output = ShownText(OutputPathFor(input_path, output_folder, extension));
      if (!output_folder.empty() && !IsDirectory(output_folder)) {
        return StringF("Can't write %s file to its end: the folder %s is gone.", output.c_str(),
                       ShownText(output_folder).c_str());
      }
      return StringF("Can't write %s file to its end (is the disk full?).\nAn earlier file of that name is kept.",
                     output.c_str());
    }
    default:
      return "";
  }
}

namespace {

// One run of the Convert command. Host calls are made in file order on this thread: with
// workers, what a file reports waits in `pending_` until every earlier file has been
// reported.
class BatchRun {
 public:
  BatchRun(const BatchRequest& request, FileConverter& converter, BatchHost& host)
      : request_(request), converter_(converter), host_(host) {}

  BatchCounters Run() {
    output_ = WithTrailingSeparator(request_.output_folder);
    if (!EnsureOutputFolder()) {
      counters_.output_folder_missing = true;
      return counters_;
    }
    host_.SetTotalPosition(0);
    host_.SetTotalPercent("0");
    if (request_.all_files && request_.jobs > 1) {
      workers_ = std::make_unique<ConversionWorkers>(converter_, request_.jobs,
                                                     request_.cancel, host_.WantsStages());
      if (!workers_->started()) workers_.reset();
    }
    if (request_.all_files && (request_.subfolders || request_.ask_in_folder)) {
      RunTree();
    } else if (request_.all_files) {
      RunFolder();
    } else {
      RunOneFile();
    }
    Drain();
    workers_.reset();
    RemoveFoldersLeftEmpty();
    host_.SetTotalPercent("0");
    if (ProgressSink* file = host_.FileProgress(); file != nullptr) file->SetLabel("0");
    host_.SetCurrentFile("");
    return counters_;
  }

 private:
  // What a file reports once its conversion has ended: the result and the output file.
  using Report = std::function<void(ConvertResult, const std::string&)>;

  // A report waiting for its turn: a host call, or the end of a conversion.
  struct Pending {
    bool waits = false;
    std::size_t ticket = 0;
    std::string input;
    std::string output;      // the planned output file
    std::string output_key;  // its entry in in_flight_
    std::function<void()> call;
    Report report;
  };

  // Conversions handed out but not reported beyond this count make the run wait.
  static constexpr std::size_t kConversionsAhead = 64;

  bool EnsureOutputFolder() {
    if (IsDirectory(output_)) return true;
    if (!host_.AskYesNo(kErrorTitle,
                        StringF("The directory %s does not exist\nCreate?", output_.c_str()))) {
      return false;
    }
    std::error_code error;
    // Another run (a worker of the same job) may make it at the same moment.
    if (std::filesystem::create_directory(output_, error) && !error) {
      made_folders_.push_back(output_);
      made_output_folders_ = made_folders_.size();
    } else if (!IsDirectory(output_)) {
      host_.ShowMessage(kErrorTitle, StringF("Can't create %s directory.", ShownText(output_).c_str()));
      return false;
    }
    return true;
  }

  // The folders made for outputs that were then not written go again; the output folder
  // only when no file was converted.
  void RemoveFoldersLeftEmpty() {
    std::vector<std::string> below(made_folders_.begin() + static_cast<std::ptrdiff_t>(made_output_folders_),
                                   made_folders_.end());
    RemoveEmptyFolders(below);
    if (counters_.converted == 0) {
      made_folders_.resize(made_output_folders_);
      RemoveEmptyFolders(made_folders_);
    }
  }

  // True, once said and with the run stopped, when the output folder has gone since the
  // run began: no file is begun then, and it is not made again below.
  bool OutputFolderGone() {
    if (IsDirectory(output_)) return false;
    if (!counters_.output_folder_missing) {
      counters_.output_folder_missing = true;
      Drain();
      state_ = OverwriteChoice::kStop;
      if (workers_ != nullptr) workers_->DropQueued();
      host_.ShowMessage(kErrorTitle,
                        StringF("The directory %s was removed during the conversion; the "
                                "files after it are not converted.",
                                ShownText(output_).c_str()));
    }
    return true;
  }

  // A host call in file order: now, or after the reports still waiting.
  void Emit(std::function<void()> call) {
    if (pending_.empty()) {
      call();
      return;
    }
    Pending entry;
    entry.call = std::move(call);
    pending_.push_back(std::move(entry));
  }

  // Reports from the front of the queue: every one (waiting for conversions) until at
  // most `still_waiting` conversions are left unreported, then those already ended.
  void Flush(std::size_t still_waiting) {
    while (!pending_.empty()) {
      (void)Cancelled();
      Pending& front = pending_.front();
      if (front.waits && waiting_ <= still_waiting && !workers_->Done(front.ticket)) break;
      Pending entry = std::move(front);
      pending_.pop_front();
      if (!entry.waits) {
        entry.call();
        continue;
      }
      const ConversionWorkers::Outcome outcome = workers_->Take(entry.ticket);
      --waiting_;
      if (!entry.output_key.empty()) {
        const auto it = in_flight_.find(entry.output_key);
        if (it != in_flight_.end() && --it->second == 0) in_flight_.erase(it);
      }
      if (outcome.dropped) continue;  // never begun: nothing to report
      for (const ConversionWorkers::Said& said : outcome.said) {
        host_.FileMessage(entry.input, said.kind, said.text);
      }
      Finish(entry.input, entry.output, outcome.result, entry.report);
    }
  }
  void Drain() { Flush(0); }

  // True once the caller has asked the run to stop; the run then takes the "Stop
  // conversion" state and drops the conversions not yet begun.
  bool Cancelled() {
    if (request_.cancel == nullptr || !request_.cancel->load(std::memory_order_relaxed)) {
      return false;
    }
    if (state_ != OverwriteChoice::kStop) {
      state_ = OverwriteChoice::kStop;
      if (workers_ != nullptr) workers_->DropQueued();
    }
    return true;
  }
  void Poll() { Flush(static_cast<std::size_t>(-1)); }

  void Finish(const std::string& input, const std::string& output, ConvertResult result,
              const Report& report) {
    // An output that appeared after the file was planned is left alone, as if skipped.
    if (result != ConvertResult::kOutputExists) host_.FileConverted(input, output, result);
    report(result, output);
  }

  // What a file converting on this thread says, told to the host as the messages of
  // `input`: the one place a conversion's words get their file's name.
  class FileMessages : public MessageSink {
   public:
    FileMessages(BatchHost& host, const std::string& input, bool wants_stages)
        : host_(host), input_(input), wants_stages_(wants_stages) {}
    void Message(MessageKind kind, std::string_view text) override {
      host_.FileMessage(input_, kind, text);
    }
    bool WantsStages() const override { return wants_stages_; }

   private:
    BatchHost& host_;
    const std::string& input_;
    bool wants_stages_;
  };

  // Converts on this thread; an exception escaping a conversion counts as lack of memory.
  ConvertResult ConvertHere(const std::string& input, std::string& target, bool keep_existing) {
    try {
      FileMessages messages(host_, input, wants_stages_);
      return converter_.Convert(input, target, keep_existing, host_.FileProgress(), &messages);
    } catch (...) {
      return ConvertResult::kNoMemory;
    }
  }

  // Converts `input` into `target` and reports through `report` in file order. Returns
  // false instead, with `target` set to the output file, when that file exists and
  // `keep_existing` holds; every earlier file has then been reported.
  bool Start(const std::string& input, std::string& target, bool keep_existing,
             Report report) {
    const FileConverter::OutputPlan plan = converter_.PlanOutput(input, target);
    if (workers_ == nullptr || !plan.known) {
      Drain();
      const ConvertResult result = ConvertHere(input, target, keep_existing);
      if (result == ConvertResult::kOutputExists) return false;
      Finish(input, plan.known ? plan.path : target, result, report);
      return true;
    }
    std::string key;
    if (plan.input_opens) {
      key = std::filesystem::path(plan.path).lexically_normal().string();
      // The output must not be written by two conversions at once, and whether it exists
      // is known only when the earlier conversion writing it has ended.
      if (in_flight_.count(key) != 0) Drain();
      if (keep_existing && FileExists(plan.path)) {
        Drain();
        target = plan.path;
        return false;
      }
      ++in_flight_[key];
    }
    Pending entry;
    entry.waits = true;
    entry.ticket = workers_->Submit(input, target, keep_existing);
    entry.input = input;
    entry.output = plan.path;
    entry.output_key = key;
    entry.report = std::move(report);
    pending_.push_back(std::move(entry));
    ++waiting_;
    Flush(kConversionsAhead);
    Poll();
    return true;
  }

  void CountConverted() {
    ++counters_.converted;
    host_.SetTotalPosition(counters_.converted);
    host_.SetTotalPercent(StringF("%lld", counters_.converted * 100 / counters_.total));
  }

  void ShowCount() {
    host_.SetTotalText(StringF("%lld of %lld", counters_.converted, counters_.total));
  }

  void ReportFailure(ConvertResult result, const std::string& input) {
    if (result == ConvertResult::kDone || result == ConvertResult::kOutputExists) return;
    host_.ShowMessage(kErrorTitle,
                      FileErrorMessage(result, input, output_, request_.output_extension));
  }

  // The file bar of a file converted by a worker, which reports no progress of its own.
  void CompleteFileBar() {
    if (workers_ == nullptr) return;
    if (ProgressSink* file = host_.FileProgress(); file != nullptr) {
      file->SetPosition(50);
      file->SetLabel("100");
    }
  }

  void ShowSummary() {
    Drain();
    if (counters_.converted <= 0) return;
    host_.SetTotalText(StringF("%lld of %lld file%s converted successfully.",
                               counters_.converted, counters_.total,
                               PluralS(counters_.converted)));
    host_.SetTotalPosition(counters_.total);
    std::string summary = StringF("Conversion completed. %lld file%s converted successfully.",
                                  counters_.converted, PluralS(counters_.converted));
    // The files of the total that were skipped or failed are not passed over in silence.
    if (const long long rest = counters_.total - counters_.converted; rest > 0) {
      summary += StringF(" %lld of %lld file%s not converted (skipped or failed).", rest,
                         counters_.total, PluralS(counters_.total));
    }
    host_.ShowMessage(kThankYouTitle, summary);
    host_.SetTotalText("");
  }

  // The folder a folder run lists: the input itself, or the folder of an input file.
  std::string InputFolder() const {
    if (IsDirectory(request_.input_path)) return WithTrailingSeparator(request_.input_path);
    return FolderOf(request_.input_path);
  }

  void RunOneFile() {
    if (IsDirectory(request_.input_path)) {
      host_.ShowMessage(kErrorTitle,
                        "Please select file, or if you have chosen a directory, please, set "
                        "the switch \"Convert all\".");
      return;
    }
    counters_.total = 1;
    host_.SetTotalRange(1);
    host_.SetCurrentFile(request_.input_path);
    std::string target = output_;
    const FileConverter::OutputPlan plan = converter_.PlanOutput(request_.input_path, target);
    const ConvertResult result = ConvertHere(request_.input_path, target, false);
    host_.FileConverted(request_.input_path, plan.known ? plan.path : target, result);
    if (result != ConvertResult::kDone) {
      ReportFailure(result, request_.input_path);
      return;
    }
    counters_.converted = 1;
    host_.SetTotalPosition(1);
    host_.SetTotalPercent("100");
    host_.SetTotalText("1 of 1 file converted successfully.");
    host_.ShowMessage(kThankYouTitle, "Conversion completed. 1 file converted successfully.");
  }

  void RunFolder() {
    const std::string folder = InputFolder();
    std::vector<std::string> files;
    const bool listed = ListHtmlFiles(folder, files);
    counters_.total = static_cast<long long>(files.size());
    host_.SetTotalRange(counters_.total);
    host_.SetTotalPosition(0);
    ShowCount();
    if (!listed || files.empty()) {
      host_.SetTotalText(kFilesNotFound);
      return;
    }
    for (const std::string& name : files) {
      if (Cancelled() || OutputFolderGone()) break;
      const std::string input = folder + name;
      Emit([this, input] { host_.SetCurrentFile(input); });
      std::string target = output_;
      (void)Start(input, target, false, [this, input](ConvertResult result, const std::string&) {
        if (result == ConvertResult::kDone) {
          CompleteFileBar();
          CountConverted();
        } else {
          ReportFailure(result, input);
        }
        ShowCount();
      });
    }
    ShowSummary();
  }

  void RunTree() {
    host_.SetCurrentFile("");
    host_.SetTotalText("");
    std::vector<PlanStep> steps;
    if (request_.listed_files != nullptr) {
      steps.push_back({PlanStep::Kind::kFolder, InputFolder(),
                       static_cast<long long>(request_.listed_files->size())});
      for (const std::string& file : *request_.listed_files) {
        steps.push_back({PlanStep::Kind::kFile, file, 0});
      }
    } else {
      std::vector<LeftOutFolder> left_out;
      (void)PlanFolderTree(InputFolder(), steps, request_.subfolders, &left_out);
      for (const LeftOutFolder& folder : left_out) host_.FolderLeftOut(folder.path, folder.reason);
    }
    for (const PlanStep& step : steps) counters_.planned += step.html_files;
    if (request_.shard_count > 1) {
      TakeShard(steps, request_.shard_index, request_.shard_count,
                request_.mirror_tree || !request_.subfolders);
    }
    // Every folder is counted before the first file converts: the bar stands for the whole
    // run and only moves forward.
    for (const PlanStep& step : steps) {
      if (step.kind == PlanStep::Kind::kFolder) counters_.total += step.html_files;
    }
    host_.SetTotalRange(counters_.total);
    for (const PlanStep& step : steps) {
      if (Cancelled() || state_ == OverwriteChoice::kStop) break;
      if (step.kind == PlanStep::Kind::kFile && !OutputFolderGone()) ConvertInTree(step.path);
    }
    ShowSummary();
  }

  // The folder a tree run writes the output of `input` into, made when missing. Empty
  // when a folder of the mirrored tree is a symbolic link: outputs are never written
  // through one (it may lead anywhere).
  std::string TreeOutputFolder(const std::string& input) {
    if (!request_.mirror_tree) return output_;
    const std::string folder = MirroredOutputFolder(output_, InputFolder(), input);
    if (folder == output_) return folder;
    if (!LinkBelow(output_, folder).empty()) return {};
    // A folder that cannot be made leaves the failure to the conversion.
    (void)MakeFolders(folder, made_folders_);
    return folder;
  }

  // One file of a tree run: an existing output is asked about until it is dealt with.
  void ConvertInTree(const std::string& input) {
    Emit([this, input] { host_.SetCurrentFile(input); });
    // Failures are not reported in a tree run.
    const Report report = [this](ConvertResult result, const std::string&) {
      if (result != ConvertResult::kDone) return;
      CompleteFileBar();
      CountConverted();
      ShowCount();
    };
    const std::string folder = TreeOutputFolder(input);
    if (folder.empty()) {
      const std::string mirrored = MirroredOutputFolder(output_, InputFolder(), input);
      const FileConverter::OutputPlan plan = converter_.PlanOutput(input, mirrored);
      const std::string output = plan.known ? plan.path : mirrored;
      Emit([this, input, output] {
        host_.FileConverted(input, output, ConvertResult::kCannotCreateOutput);
      });
      return;
    }
    std::string target = folder;
    bool keep_existing = keep_existing_;
    while (!Start(input, target, keep_existing, report)) {
      if (Cancelled() || state_ == OverwriteChoice::kSkipAll) return;
      const std::string name(FileNameOf(target));
      std::string rename = RenameSuggestion(name, input);
      state_ = host_.AskOverwrite(name, rename);
      switch (state_) {
        case OverwriteChoice::kOverwriteAll:
          keep_existing_ = false;
          [[fallthrough]];
        case OverwriteChoice::kOverwrite:
          keep_existing = false;
          break;
        case OverwriteChoice::kRename:
          target = folder + rename.substr(0, kMaxRenameLength);
          keep_existing = true;
          break;
        case OverwriteChoice::kSkip:
        case OverwriteChoice::kSkipAll:
        case OverwriteChoice::kStop:
          return;
      }
    }
  }

  const BatchRequest& request_;
  FileConverter& converter_;
  BatchHost& host_;
  std::string output_;
  BatchCounters counters_;
  OverwriteChoice state_ = OverwriteChoice::kOverwrite;  // 0: ask
  bool keep_existing_ = true;
  const bool wants_stages_ = host_.WantsStages();
  std::unique_ptr<ConversionWorkers> workers_;
  std::deque<Pending> pending_;
  std::size_t waiting_ = 0;                     // conversions in pending_
  std::map<std::string, int> in_flight_;        // outputs being written
  std::vector<std::string> made_folders_;       // output folders this run made
  std::size_t made_output_folders_ = 0;         // of them, the output folder itself
};

}  // namespace

std::string MirroredOutputFolder(std::string_view output_folder, std::string_view input_root,
                                 std::string_view input_path) {
  std::string folder = WithTrailingSeparator(output_folder);
  // Both absolute, as FolderOf makes them.
  const std::string root = FolderOf(WithTrailingSeparator(input_root));
  const std::string input_folder = FolderOf(input_path);
  // The planned paths of a tree all begin with its root; anything else stays on top.
  if (input_folder.size() > root.size() && input_folder.starts_with(root)) {
    folder += input_folder.substr(root.size());
  }
  return folder;
}

ConvertResult EngineConverter::Convert(const std::string& input_path,
                                       std::string& output_target, bool keep_existing_output,
                                       ProgressSink* progress, MessageSink* messages) {
  ConvertRequest request;
  request.output_mode = settings_.output_mode;
  request.encoding_name = settings_.encoding_name;
  request.convert_images = settings_.convert_images;
  request.keep_existing_output = keep_existing_output;
  request.progress = progress;
  request.messages = messages;
  EngineSettings engine_settings;
  InitEngineSettings(engine_settings);
  std::string input = input_path;
  return engine_.ConvertHtmlFile(input, output_target, request, settings_.options,
                                 engine_settings);
}

FileConverter::OutputPlan EngineConverter::PlanOutput(const std::string& input_path,
                                                      const std::string& output_target) {
  OutputPlan plan;
  plan.known = true;
  const std::string input = UserPath(input_path);
  if (IsDirectory(input)) {
    plan.input_opens = false;
  } else if (std::FILE* file = OpenRegularFileForReading(input); file != nullptr) {
    std::fclose(file);
  } else {
    plan.input_opens = false;
  }
  plan.path = OutputFileName(input, UserPath(output_target), settings_.options,
                             settings_.output_mode);
  return plan;
}

std::unique_ptr<FileConverter> EngineConverter::Clone() const {
  return std::make_unique<EngineConverter>(settings_);
}

bool IsHtmlFileName(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  std::string tail(dot == std::string_view::npos ? name : name.substr(dot));
  for (char& ch : tail) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return tail.find("htm") != std::string::npos || tail.find("asp") != std::string::npos;
}

int OutputModeFor(std::string_view extension, bool convert_tables) {
  if (extension == ".txt") return kModePlainText;
  return convert_tables ? kModeRtfTables : kModeRtfNoTables;
}

std::string RenameSuggestion(std::string_view output_file_name, std::string_view input_path) {
  // The last four characters are the extension; a shorter name has none.
  const std::size_t split =
      output_file_name.size() >= 4 ? output_file_name.size() - 4 : output_file_name.size();
  const std::size_t file_start = input_path.rfind('/');
  std::string_view folder =
      file_start == std::string_view::npos ? std::string_view() : input_path.substr(0, file_start);
  if (const std::size_t slash = folder.rfind('/'); slash != std::string_view::npos) {
    folder = folder.substr(slash + 1);
  }
  std::string suggestion(output_file_name.substr(0, split));
  suggestion += "(DIR ";
  suggestion += folder;
  suggestion += ")";
  suggestion += output_file_name.substr(split);
  return suggestion;
}

bool PlanFolderTree(const std::string& folder, std::vector<PlanStep>& steps, bool subfolders,
                    std::vector<LeftOutFolder>* left_out) {
  std::set<std::string> visited;
  bool listed = false;
  // The top folder that cannot be listed is the run's failure, not a folder left out.
  const std::size_t before = left_out != nullptr ? left_out->size() : 0;
  PlanInto(WithTrailingSeparator(folder), subfolders, steps, visited, listed, left_out);
  if (!listed && left_out != nullptr) left_out->resize(before);
  return listed;
}

void TakeShard(std::vector<PlanStep>& steps, int index, int count, bool by_folder) {
  if (count < 1) return;
  // The output a file writes, but for its extension: its group.
  std::map<std::string, long long> groups;
  std::vector<PlanStep> kept;
  std::size_t folder_step = 0;
  for (PlanStep& step : steps) {
    if (step.kind == PlanStep::Kind::kFolder) {
      folder_step = kept.size();
      step.html_files = 0;
      kept.push_back(std::move(step));
      continue;
    }
    std::string key(FileNameOf(step.path));
    if (const std::size_t dot = key.rfind('.'); dot != std::string::npos) key.resize(dot);
    if (by_folder) key = FolderOf(step.path) + key;
    const long long group =
        groups.emplace(std::move(key), static_cast<long long>(groups.size())).first->second;
    if (group % count != index) continue;
    if (folder_step < kept.size()) ++kept[folder_step].html_files;
    kept.push_back(std::move(step));
  }
  steps = std::move(kept);
}

bool ListHtmlFiles(const std::string& folder, std::vector<std::string>& files) {
  std::vector<DirectoryEntry> entries;
  std::error_code error;
  if (!ListEntries(folder, entries, error)) return false;
  for (const DirectoryEntry& e : entries) {
    if (!e.is_folder && IsHtmlFileName(e.name)) files.push_back(e.name);
  }
  return true;
}

int DefaultJobs() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

BatchCounters RunBatch(const BatchRequest& request, FileConverter& converter,
                       BatchHost& host) {
  return BatchRun(request, converter, host).Run();
}

}  // namespace velmorane
