// The main window: input and output paths, output format, the main switches, and the
// Convert command with its two progress bars.
#ifndef VELMORANE_FRONTENDS_WINDOW_MAIN_WINDOW_H_
#define VELMORANE_FRONTENDS_WINDOW_MAIN_WINDOW_H_

#include <QMainWindow>
#include <memory>
#include <string>

#include "core/options.h"
#include "frontends/batch/batch.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace velmorane {

class FileProgressSink;

class MainWindow : public QMainWindow, private BatchHost {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  const ConversionOptions& options() const { return options_; }
  const std::string& outputExtension() const { return extension_; }
  // The output mode the controls stand for.
  int outputMode() const;

 public slots:
  void BrowseInput();
  void BrowseOutput();
  void OpenTablesTuning();
  void OpenImagesTuning();
  void OpenSettings();
  void SaveConfiguration();
  void Convert();
  void OpenResults();
  void ShowHelp();
  void ShowAbout();

 private:
  void BuildControls();
  void BuildMenus();
  void ChooseFormat(const char* extension);
  void WritePaths();

  // BatchHost: the Convert command's messages, questions and progress.
  void ShowMessage(std::string_view title, std::string_view text) override;
  bool AskYesNo(std::string_view title, std::string_view text) override;
  OverwriteChoice AskOverwrite(std::string_view file_name, std::string& rename_to) override;
  void SetCurrentFile(std::string_view path) override;
  void SetTotalRange(long long maximum) override;
  void SetTotalPosition(long long position) override;
  void SetTotalPercent(std::string_view text) override;
  void SetTotalText(std::string_view text) override;
  ProgressSink* FileProgress() override;

  ConversionOptions options_;
  std::string settings_folder_;
  std::string extension_ = ".rtf";

  QLineEdit* input_path_;
  QLineEdit* output_path_;
  QCheckBox* convert_all_;
  QCheckBox* subfolders_;
  QRadioButton* rtf_;
  QRadioButton* doc_;
  QRadioButton* txt_;
  QCheckBox* convert_tables_;
  QCheckBox* convert_images_;
  QComboBox* encoding_;
  QPushButton* convert_;
  QLabel* current_file_;
  QProgressBar* file_bar_;
  QLabel* file_percent_;
  QProgressBar* total_bar_;
  QLabel* total_percent_;
  QLabel* total_files_;
  std::unique_ptr<FileProgressSink> file_progress_;
};

}  // namespace velmorane

#endif  // VELMORANE_FRONTENDS_WINDOW_MAIN_WINDOW_H_
