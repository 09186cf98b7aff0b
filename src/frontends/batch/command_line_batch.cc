// Folder and folder-tree conversion for the command line: the batch run with a host that
// answers by itself and writes to the terminal.
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "core/paths.h"
#include "frontends/batch/batch.h"

namespace velmorane {

namespace {

// Keeps the first failure and tells the caller about every file.
class ReportingConverter : public FileConverter {
 public:
  ReportingConverter(FileConverter& inner, const CommandLineBatch& batch)
      : inner_(inner), batch_(batch) {}

  ConvertResult Convert(const std::string& input_path, std::string& output_target,
                        bool keep_existing_output, ProgressSink* progress) override {
    const ConvertResult result =
        inner_.Convert(input_path, output_target, keep_existing_output, progress);
    if (result != ConvertResult::kOutputExists) {
      if (batch_.on_file) batch_.on_file(input_path, output_target, result);
      if (result != ConvertResult::kDone && first_failure_ == ConvertResult::kDone) {
        first_failure_ = result;
      }
    }
    return result;
  }

  ConvertResult first_failure() const { return first_failure_; }

 private:
  FileConverter& inner_;
  const CommandLineBatch& batch_;
  ConvertResult first_failure_ = ConvertResult::kDone;
};

class TerminalHost : public BatchHost {
 public:
  TerminalHost(std::string output_folder, bool show_progress)
      : output_folder_(WithTrailingSeparator(output_folder)),
        show_progress_(show_progress),
        started_(std::filesystem::file_time_type::clock::now()) {}

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

  // An output written earlier in this run belongs to another input: keep it and take the
  // suggested name. An output from before the run is replaced.
  OverwriteChoice AskOverwrite(std::string_view file_name, std::string&) override {
    std::error_code error;
    const auto written =
        std::filesystem::last_write_time(output_folder_ + std::string(file_name), error);
    if (!error && written >= started_) return OverwriteChoice::kRename;
    return OverwriteChoice::kOverwrite;
  }

  void SetTotalText(std::string_view text) override {
    if (text == kFilesNotFound) ShowMessage(kErrorTitle, text);
  }
  void SetTotalRange(long long maximum) override { total_ = maximum; }
  void SetTotalPosition(long long position) override {
    if (!show_progress_ || total_ <= 0) return;
    std::fprintf(stderr, "\r%lld of %lld (%lld%%)", position, total_, position * 100 / total_);
    std::fflush(stderr);
    line_open_ = true;
  }

  void EndProgressLine() {
    if (line_open_) std::fputc('\n', stderr);
    line_open_ = false;
  }

 private:
  std::string output_folder_;
  bool show_progress_;
  std::filesystem::file_time_type started_;
  long long total_ = 0;
  bool line_open_ = false;
};

}  // namespace

int ConvertPathFromCommandLine(const CommandLineBatch& batch) {
  BatchRequest request;
  request.input_path = batch.input_folder;
  request.output_folder = batch.output_folder;
  request.all_files = true;
  request.subfolders = batch.subfolders;
  request.output_extension = std::string(FieldText(batch.settings.options.output_extension));
  if (request.output_extension != ".txt" && request.output_extension != ".doc") {
    request.output_extension = batch.settings.output_mode == kModePlainText ? ".txt" : ".rtf";
  }
  EngineConverter engine(batch.settings);
  ReportingConverter converter(engine, batch);
  TerminalHost host(batch.output_folder, batch.show_progress);
  const BatchCounters counters = RunBatch(request, converter, host);
  host.EndProgressLine();
  if (counters.total == 0) return static_cast<int>(ConvertResult::kCannotOpenInput);
  return static_cast<int>(converter.first_failure());
}

}  // namespace velmorane
