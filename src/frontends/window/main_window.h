// The main window: input and output paths, output format, the main switches, and the
// Convert command with its two progress bars, its Cancel button and its log.
#ifndef VELMORANE_FRONTENDS_WINDOW_MAIN_WINDOW_H_
#define VELMORANE_FRONTENDS_WINDOW_MAIN_WINDOW_H_

#include <QMainWindow>
#include <QString>
#include <string>

#include "base/options.h"
#include "frontends/batch/batch.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace velmorane {

class ConversionThread;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  const ConversionOptions& options() const { return options_; }
  const std::string& outputExtension() const { return extension_; }
  // The output mode the controls stand for.
  int outputMode() const;
  // True from Convert until the run has ended.
  bool converting() const;
  // Where the window keeps the paths file and its own size.
  static std::string SettingsFolder();
  // The log view's text (one line per converted or failed file).
  QString logText() const;

 public slots:
  void BrowseInput();
  void BrowseOutput();
  void OpenTablesTuning();
  void OpenImagesTuning();
  void OpenSettings();
  void SaveConfiguration();
  // Starts a run in the background; the window stays usable and Cancel stops it.
  void Convert();
  // Stops the run after the files in progress.
  void CancelConversion();
  void OpenResults();
  void ShowHelp();
  void ShowAbout();
  // A path dropped on the window (but a folder dropped on the output field fills that):
  // fills the input path; a folder also checks "convert all files in this folder", a
  // file clears it.
  void TakeInputPath(const QString& path);
  void SetLogVisible(bool visible);

 signals:
  // A run has ended and the window is ready for the next one.
  void conversionFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildControls();
  void BuildMenus();
  void ChooseFormat(const char* extension);
  void WritePaths();
  void ClearProgress();
  void SetConverting(bool converting);
  void AppendLog(const QString& line);
  void OnFileConverted(const QString& input, const QString& output, int result);
  void OnFinished(qint64 converted, qint64 total);
  void RestoreWindowState();
  void SaveWindowState();

  // The run's messages and questions, answered on this thread.
  void ShowMessage(const QString& title, const QString& text);
  bool AskYesNo(const QString& title, const QString& text);
  OverwriteChoice AskOverwrite(const QString& file_name, QString& rename_to);

  ConversionOptions options_;
  std::string settings_folder_;
  std::string extension_ = ".rtf";
  bool close_when_done_ = false;

  QWidget* settings_area_;
  QAction* settings_action_;
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
  QPushButton* cancel_;
  QLabel* current_file_;
  QProgressBar* file_bar_;
  QLabel* file_percent_;
  QProgressBar* total_bar_;
  QLabel* total_percent_;
  QLabel* total_files_;
  QToolButton* log_toggle_;
  QPlainTextEdit* log_;
  ConversionThread* run_;
};

}  // namespace velmorane

#endif  // VELMORANE_FRONTENDS_WINDOW_MAIN_WINDOW_H_
