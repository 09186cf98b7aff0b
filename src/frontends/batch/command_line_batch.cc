// Folder and folder-tree conversion for the command line: the batch run with a host that
// answers by itself and writes to the terminal.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "base/append.h"
#include "base/paths.h"
#include "frontends/batch/batch.h"
#include "html/shown_text.h"
#include "platform/files.h"

namespace velmorane {

namespace {

class TerminalHost : public BatchHost {
 public:
  TerminalHost(const CommandLineBatch& batch, std::string output_folder,
               std::string extension)
      : batch_(batch),
        output_folder_(std::move(output_folder)),
        extension_(std::move(extension)) {}

  void ShowMessage(std::string_view title, std::string_view text) override {
    EndProgressLine();
    if (title == kErrorTitle) {
      std::fprintf(stderr, "Error! %.*s\n", static_cast<int>(text.size()), text.data());
    } else {
      std::printf("%.*s\n", static_cast<int>(text.size()), text.data());
    }
  }

  // The output folder is created without asking.
  bool AskYesNo(std::string_view, std::string_view) override { return true; }

  void SetCurrentFile(std::string_view path) override { current_input_ = std::string(path); }

  // An output written earlier in this run belongs to another input: keep it and take the
  // suggested name. An output from before the run is replaced.
  OverwriteChoice AskOverwrite(std::string_view file_name, std::string&) override {
    // The question comes after every earlier file was reported, so the current file is
    // the one asking.
    if (written_.count(Key(FolderFor(current_input_) + std::string(file_name))) != 0) {
      return OverwriteChoice::kRename;
    }
    return OverwriteChoice::kOverwrite;
  }

  void FileConverted(std::string_view input, std::string_view output,
                     ConvertResult result) override {
    if (result == ConvertResult::kDone) {
      written_.insert(Key(std::string(output)));
    } else {
      if (first_failure_ == ConvertResult::kDone) first_failure_ = result;
      const std::string folder = FolderFor(std::string(input));
      const std::string link = batch_.mirror_tree && result == ConvertResult::kCannotCreateOutput
                                   ? LinkBelow(output_folder_, folder)
                                   : std::string();
      if (!link.empty()) {
        ShowMessage(kErrorTitle, StringF("Can't open %s file for record: %s is a symbolic link "
                                         "to a folder, not followed.",
                                         ShownText(output).c_str(), ShownText(link).c_str()));
      } else {
        ShowMessage(kErrorTitle, FileErrorMessage(result, std::string(input), folder, extension_));
      }
    }
    if (batch_.on_file) batch_.on_file(std::string(input), std::string(output), result);
  }

  void FileMessage(std::string_view input, MessageKind kind, std::string_view text) override {
    if (batch_.on_message) batch_.on_message(std::string(input), kind, text);
  }
  bool WantsStages() const override { return batch_.wants_stages; }

  void FolderLeftOut(std::string_view folder, std::string_view reason) override {
    const std::string text = StringF("folder %s left out: %.*s", ShownText(folder).c_str(),
                                     static_cast<int>(reason.size()), reason.data());
    if (batch_.on_warning) {
      batch_.on_warning(text);
    } else {
      std::fprintf(stderr, "velmorane: warning: %s\n", text.c_str());
    }
  }

  void SetTotalRange(long long maximum) override { total_ = maximum; }
  void SetTotalPosition(long long position) override {
    if (!batch_.show_progress || total_ <= 0) return;
    line_open_ = true;
    if (batch_.on_progress) {
      batch_.on_progress(position, total_);
      return;
    }
    std::fprintf(stderr, "\r%lld of %lld (%lld%%)", position, total_, position * 100 / total_);
    std::fflush(stderr);
  }

  void EndProgressLine() {
    if (line_open_) std::fputc('\n', stderr);
    line_open_ = false;
  }

  ConvertResult first_failure() const { return first_failure_; }

 private:
  // The output folder of an input: its copy in a mirrored tree, else the one folder.
  std::string FolderFor(const std::string& input) const {
    return batch_.mirror_tree && batch_.subfolders
               ? MirroredOutputFolder(output_folder_, input_root_, input)
               : output_folder_;
  }

  static std::string Key(const std::string& path) {
    return std::filesystem::path(path).lexically_normal().string();
  }

  const CommandLineBatch& batch_;
  std::string output_folder_;
  std::string extension_;
  std::string input_root_ = WithTrailingSeparator(batch_.input_folder);
  std::string current_input_;
  std::set<std::string> written_;  // outputs written in this run
  ConvertResult first_failure_ = ConvertResult::kDone;
  long long total_ = 0;
  bool line_open_ = false;
};

}  // namespace

bool ListedInputs(std::string_view text, bool nul_separated, const std::string& root,
                  std::vector<std::string>& inputs, std::string& outside) {
  namespace fs = std::filesystem;
  std::error_code error;
  const std::string top =
      WithTrailingSeparator(fs::absolute(root, error).lexically_normal().string());
  std::unordered_set<std::string> seen;
  const char separator = nul_separated ? '\0' : '\n';
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find(separator, at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (!nul_separated && line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty()) continue;
    std::string path = fs::absolute(fs::path(line), error).lexically_normal().string();
    // A listed folder or a path leaving the root would write outside the output folder.
    if (path.size() <= top.size() || !path.starts_with(top) || path.back() == '/') {
      outside = std::string(line);
      return false;
    }
    if (seen.insert(path).second) inputs.push_back(std::move(path));
  }
  return true;
}

int ConvertPathFromCommandLine(const CommandLineBatch& batch) {
  BatchRequest request;
  request.input_path = batch.input_folder;
  // No output folder means the current directory, as for a single file.
  request.output_folder = batch.output_folder.empty() ? "." : batch.output_folder;
  request.all_files = true;
  request.subfolders = batch.subfolders;
  request.ask_in_folder = true;
  request.jobs = batch.jobs;
  request.mirror_tree = batch.mirror_tree && batch.subfolders;
  request.listed_files = batch.listed_files;
  request.shard_index = batch.shard_index;
  request.shard_count = batch.shard_count;
  request.output_extension = std::string(FieldText(batch.settings.options.output_extension));
  if (request.output_extension != ".txt" && request.output_extension != ".doc") {
    request.output_extension = batch.settings.output_mode == kModePlainText ? ".txt" : ".rtf";
  }
  // The output folder is made with the folders above it (another run may make them at
  // the same moment); a run that converts nothing leaves none of them empty behind.
  std::vector<std::string> made;
  if (!IsDirectory(request.output_folder)) (void)MakeFolders(request.output_folder, made);
  EngineConverter converter(batch.settings);
  TerminalHost host(batch, WithTrailingSeparator(request.output_folder),
                    request.output_extension);
  const BatchCounters counters = RunBatch(request, converter, host);
  host.EndProgressLine();
  if (counters.converted == 0) RemoveEmptyFolders(made);
  if (counters.output_folder_missing) return static_cast<int>(ConvertResult::kCannotCreateOutput);
  if (counters.total == 0 && (batch.listed_files != nullptr || counters.planned > 0)) return 0;
  if (counters.total == 0) {
    // Name the folder, and the switch that looks further when its subfolders were left out.
    std::string text = std::string(kFilesNotFound, std::strlen(kFilesNotFound) - 1) +
                       ": no HTML file in " + ShownText(WithTrailingSeparator(batch.input_folder));
    text += batch.subfolders ? " or its subfolders" : " (-subfolders yes also converts its subfolders)";
    host.ShowMessage(kErrorTitle, text);
    return static_cast<int>(ConvertResult::kCannotOpenInput);
  }
  return static_cast<int>(host.first_failure());
}

}  // namespace velmorane
