// The main window and its commands.
#include "frontends/window/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>
#include <QVBoxLayout>
#include <array>
#include <climits>

#include "core/paths.h"
#include "frontends/settings/settings_files.h"
#include "frontends/window/dialogs.h"
#include "platform/files.h"
#include "frontends/window/qt_text.h"

namespace velmorane {

namespace {

// The encodings offered, in list order; the engine reads these names.
constexpr std::array<const char*, 14> kEncodings = {
    "Auto-Select",
    "(Windows-1250) European",
    "(Windows-1251) Cyrillic",
    "(Windows-1252) European",
    "(Windows-1253) Greek",
    "(Windows-1254) Turkish",
    "(Windows-1255) Hebrew",
    "(Windows-1256) Arabic",
    "(Windows-1257) Baltic",
    "(Windows-1258) European",
    "(KOI8-R) Cyrillic",
    "(ISO-8859-1) Latin1",
    "(ISO-8859-5) Cyrillic",
    "(UTF-8) Unicode",
};

// The edits are read with this limit.
constexpr int kPathLimit = 260;

int ToBarValue(long long value) {
  return value > INT_MAX ? INT_MAX : static_cast<int>(value < 0 ? 0 : value);
}

// Repaints between files and within a file, without taking new commands.
void KeepPainting() { QApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

}  // namespace

// The current file's bar and percentage, fed by the engine.
class FileProgressSink : public ProgressSink {
 public:
  FileProgressSink(QProgressBar* bar, QLabel* label) : bar_(bar), label_(label) {}
  void SetRange(int low, int high) override { bar_->setRange(low, high); }
  void SetPosition(int position) override {
    bar_->setValue(position);
    KeepPainting();
  }
  void SetLabel(std::string_view text) override { label_->setText(ToQString(text)); }

 private:
  QProgressBar* bar_;
  QLabel* label_;
};

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle("Velmorane Converter Pro");
  setObjectName("mainWindow");
  // Start-up: the folder we were started in keeps the paths file.
  settings_folder_ = CurrentFolder();
  options_ = LoadStartupOptions();
  extension_ = ".rtf";
  BuildControls();
  BuildMenus();
  file_progress_ = std::make_unique<FileProgressSink>(file_bar_, file_percent_);

  const PathsSettings paths = LoadStartupPaths(settings_folder_);
  input_path_->setText(ToQString(paths.input_path));
  output_path_->setText(ToQString(paths.output_path));
  convert_tables_->setChecked(paths.convert_tables);
  convert_images_->setChecked(paths.convert_images);
  for (const char* name : kEncodings) encoding_->addItem(name);
  encoding_->setCurrentIndex(0);
  subfolders_->setEnabled(false);
  resize(640, sizeHint().height());
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildControls() {
  auto* central = new QWidget(this);
  central->setObjectName("centralWidget");
  setCentralWidget(central);

  input_path_ = Named(new QLineEdit(central), "inputPathEdit");
  output_path_ = Named(new QLineEdit(central), "outputPathEdit");
  input_path_->setMaxLength(kPathLimit);
  output_path_->setMaxLength(kPathLimit);
  auto* input_browse = Named(new QPushButton("Browse...", central), "inputBrowseButton");
  auto* output_browse = Named(new QPushButton("Browse...", central), "outputBrowseButton");
  convert_all_ = Named(new QCheckBox("convert all files in this folder", central), "convertAllCheck");
  subfolders_ = Named(new QCheckBox("search in subfolders", central), "subfoldersCheck");
  rtf_ = Named(new QRadioButton("*.rtf", central), "rtfRadio");
  doc_ = Named(new QRadioButton("*.doc", central), "docRadio");
  txt_ = Named(new QRadioButton("*.txt", central), "txtRadio");
  rtf_->setChecked(true);
  convert_tables_ = Named(new QCheckBox("convert tables", central), "convertTablesCheck");
  convert_images_ = Named(new QCheckBox("convert images", central), "convertImagesCheck");
  auto* tables_tuning = Named(new QPushButton("Tables tuning", central), "tablesTuningButton");
  auto* images_tuning = Named(new QPushButton("Images tuning", central), "imagesTuningButton");
  encoding_ = Named(new QComboBox(central), "encodingCombo");
  convert_ = Named(new QPushButton("Convert", central), "convertButton");
  convert_->setDefault(true);
  auto* quit = Named(new QPushButton("Quit", central), "quitButton");
  auto* open_results = Named(new QPushButton("Open Result(s)", central), "openResultsButton");
  current_file_ = Named(new QLabel(central), "currentFileLabel");
  current_file_->setMinimumWidth(300);
  file_bar_ = Named(new QProgressBar(central), "fileProgressBar");
  file_percent_ = Named(new QLabel("0", central), "filePercentLabel");
  total_bar_ = Named(new QProgressBar(central), "totalProgressBar");
  total_percent_ = Named(new QLabel("0", central), "totalPercentLabel");
  total_files_ = Named(new QLabel(central), "totalFilesLabel");
  for (QProgressBar* bar : {file_bar_, total_bar_}) {
    bar->setTextVisible(false);
    bar->setRange(0, 50);
    bar->setValue(0);
  }

  auto* paths_box = new QGroupBox("Paths", central);
  auto* paths = new QGridLayout(paths_box);
  paths->addWidget(new QLabel("Input file or folder:", central), 0, 0);
  paths->addWidget(input_path_, 0, 1);
  paths->addWidget(input_browse, 0, 2);
  paths->addWidget(new QLabel("Output folder:", central), 1, 0);
  paths->addWidget(output_path_, 1, 1);
  paths->addWidget(output_browse, 1, 2);
  auto* folder_row = new QHBoxLayout;
  folder_row->addWidget(convert_all_);
  folder_row->addWidget(subfolders_);
  folder_row->addStretch();
  paths->addLayout(folder_row, 2, 1, 1, 2);

  auto* format_box = new QGroupBox("Output format", central);
  auto* format = new QVBoxLayout(format_box);
  format->addWidget(rtf_);
  format->addWidget(doc_);
  format->addWidget(txt_);

  auto* options_box = new QGroupBox("Options", central);
  auto* options = new QGridLayout(options_box);
  options->addWidget(convert_tables_, 0, 0);
  options->addWidget(tables_tuning, 0, 1);
  options->addWidget(convert_images_, 1, 0);
  options->addWidget(images_tuning, 1, 1);
  options->addWidget(new QLabel("Encoding:", central), 2, 0);
  options->addWidget(encoding_, 2, 1);

  auto* middle = new QHBoxLayout;
  middle->addWidget(format_box);
  middle->addWidget(options_box, 1);

  auto* progress_box = new QGroupBox("Progress", central);
  auto* progress = new QGridLayout(progress_box);
  progress->addWidget(new QLabel("Current file:", central), 0, 0);
  progress->addWidget(current_file_, 0, 1, 1, 3);
  progress->addWidget(file_bar_, 1, 0, 1, 2);
  progress->addWidget(file_percent_, 1, 2);
  progress->addWidget(new QLabel("%", central), 1, 3);
  progress->addWidget(new QLabel("Total files:", central), 2, 0);
  progress->addWidget(total_files_, 2, 1, 1, 3);
  progress->addWidget(total_bar_, 3, 0, 1, 2);
  progress->addWidget(total_percent_, 3, 2);
  progress->addWidget(new QLabel("%", central), 3, 3);
  progress->setColumnStretch(1, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(convert_);
  buttons->addWidget(open_results);
  buttons->addStretch();
  buttons->addWidget(quit);

  auto* layout = new QVBoxLayout(central);
  layout->addWidget(paths_box);
  layout->addLayout(middle);
  layout->addWidget(progress_box);
  layout->addLayout(buttons);

  connect(input_browse, &QPushButton::clicked, this, &MainWindow::BrowseInput);
  connect(output_browse, &QPushButton::clicked, this, &MainWindow::BrowseOutput);
  connect(convert_all_, &QCheckBox::toggled, subfolders_, &QCheckBox::setEnabled);
  connect(rtf_, &QRadioButton::clicked, this, [this] { ChooseFormat(".rtf"); });
  connect(doc_, &QRadioButton::clicked, this, [this] { ChooseFormat(".doc"); });
  connect(txt_, &QRadioButton::clicked, this, [this] { ChooseFormat(".txt"); });
  connect(tables_tuning, &QPushButton::clicked, this, &MainWindow::OpenTablesTuning);
  connect(images_tuning, &QPushButton::clicked, this, &MainWindow::OpenImagesTuning);
  connect(convert_, &QPushButton::clicked, this, &MainWindow::Convert);
  connect(open_results, &QPushButton::clicked, this, &MainWindow::OpenResults);
  connect(quit, &QPushButton::clicked, this, &MainWindow::close);
}

void MainWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("fileMenu");
  QAction* settings = file->addAction("&Settings...", this, &MainWindow::OpenSettings);
  settings->setObjectName("settingsAction");
  QAction* save = file->addAction("Save &configuration", this, &MainWindow::SaveConfiguration);
  save->setObjectName("saveConfigurationAction");
  file->addSeparator();
  QAction* quit = file->addAction("&Quit", this, &MainWindow::close);
  quit->setObjectName("quitAction");
  QMenu* help = menuBar()->addMenu("&Help");
  help->setObjectName("helpMenu");
  QAction* contents = help->addAction("Help &contents", this, &MainWindow::ShowHelp);
  contents->setShortcut(QKeySequence(Qt::Key_F1));
  contents->setObjectName("helpContentsAction");
  QAction* about = help->addAction("&About...", this, &MainWindow::ShowAbout);
  about->setObjectName("aboutAction");
}

int MainWindow::outputMode() const {
  return OutputModeFor(extension_, convert_tables_->isChecked());
}

void MainWindow::ChooseFormat(const char* extension) {
  extension_ = extension;
  rtf_->setChecked(extension_ == ".rtf");
  doc_->setChecked(extension_ == ".doc");
  txt_->setChecked(extension_ == ".txt");
  if (extension_ == ".txt") {
    convert_images_->setEnabled(false);
  } else {
    convert_tables_->setEnabled(true);
    convert_images_->setEnabled(true);
  }
}

void MainWindow::BrowseInput() {
  // A folder opens the dialog in that folder with no file chosen; a file is preselected.
  const QString chosen = QFileDialog::getOpenFileName(
      this, "Open", input_path_->text(),
      "*.asp; *.htm; *.html; *.shtml; *.phtml (*.asp* *.htm *.html *.shtml *.phtml);;"
      "All Files (*.*) (*)");
  if (!chosen.isEmpty()) input_path_->setText(chosen);
}

void MainWindow::BrowseOutput() {
  const QString chosen = QFileDialog::getExistingDirectory(
      this, "Please, select output directory:", output_path_->text());
  if (!chosen.isEmpty()) output_path_->setText(chosen);
}

void MainWindow::OpenTablesTuning() {
  TableOptionsDialog dialog(this);
  if (dialog.exec() != QDialog::Accepted) return;
  options_.keep_table_width = dialog.keepTableWidth() ? 1 : 0;
  options_.keep_nested_tables = dialog.keepNestedTables() ? 1 : 0;
}

void MainWindow::OpenImagesTuning() {
  ImageOptionsDialog dialog(this);
  if (dialog.exec() != QDialog::Accepted) return;
  options_.image_format = dialog.imageFormat();
  options_.download_images = dialog.downloadImages() ? 1 : 0;
}

void MainWindow::OpenSettings() {
  ProgramSettingsDialog dialog(this);
  if (dialog.exec() == QDialog::Accepted) options_ = dialog.options();
}

void MainWindow::WritePaths() {
  PathsSettings paths;
  paths.input_path = ToStd(input_path_->text());
  paths.output_path = ToStd(output_path_->text());
  paths.convert_tables = convert_tables_->isChecked();
  paths.convert_images = convert_images_->isChecked();
  std::string folder = settings_folder_;
  (void)WritePathsFile(paths, folder);
}

void MainWindow::SaveConfiguration() {
  WritePaths();
  const std::string input = ToStd(input_path_->text());
  const std::string output = ToStd(output_path_->text());
  ShowMessage(kThankYouTitle,
              "Input path: \"" + input + "\".\nOutput path: \"" + output +
                  "\".\n\nSaved successfully.");
}

void MainWindow::Convert() {
  BatchSettings settings;
  settings.convert_images = convert_images_->isChecked() && convert_images_->isEnabled();
  settings.encoding_name = ToStd(encoding_->currentText());
  settings.output_mode = outputMode();
  SetField(options_.output_extension, extension_);
  settings.options = options_;
  (void)WriteOptionsFile(options_);
  file_bar_->setValue(0);
  total_bar_->setValue(0);
  total_percent_->setText("0");
  WritePaths();

  BatchRequest request;
  request.input_path = ToStd(input_path_->text());
  request.output_folder = ToStd(output_path_->text());
  request.all_files = convert_all_->isChecked();
  request.subfolders = request.all_files && subfolders_->isChecked();
  request.output_extension = extension_;
  request.jobs = DefaultJobs();  // folder runs convert on every core

  // No other command runs while the batch does; only its dialogs answer.
  centralWidget()->setEnabled(false);
  menuBar()->setEnabled(false);
  EngineConverter converter(settings);
  (void)RunBatch(request, converter, *this);
  centralWidget()->setEnabled(true);
  menuBar()->setEnabled(true);
}

void MainWindow::OpenResults() {
  QDesktopServices::openUrl(QUrl::fromLocalFile(output_path_->text()));
}

void MainWindow::ShowHelp() {
  QMessageBox::information(
      this, "Velmorane Converter Pro",
      "Choose an HTML file (or a folder with \"convert all files in this folder\", and its "
      "subfolders with \"search in subfolders\"), an output folder and a format, then press "
      "Convert.\n\nFile > Settings edits the conversion settings and the page setup.");
}

void MainWindow::ShowAbout() {
  QMessageBox::about(this, "About Velmorane Converter Pro",
                     "Velmorane Converter Pro\nVersion 3.0\n\nConverts HTML pages into RTF "
                     "documents or plain text.");
}

// ---- BatchHost ----

void MainWindow::ShowMessage(std::string_view title, std::string_view text) {
  QMessageBox box(QMessageBox::NoIcon, ToQString(title), ToQString(text), QMessageBox::Ok, this);
  if (title == kErrorTitle) box.setIcon(QMessageBox::Critical);
  box.exec();
}

bool MainWindow::AskYesNo(std::string_view title, std::string_view text) {
  return QMessageBox::question(this, ToQString(title), ToQString(text),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

OverwriteChoice MainWindow::AskOverwrite(std::string_view file_name, std::string& rename_to) {
  WarningDialog dialog(ToQString(file_name), ToQString(rename_to), this);
  dialog.exec();
  rename_to = ToStd(dialog.renameTo());
  return dialog.choice();
}

void MainWindow::SetCurrentFile(std::string_view path) {
  current_file_->setText(ToQString(path));
  KeepPainting();
}

void MainWindow::SetTotalRange(long long maximum) {
  total_bar_->setRange(0, ToBarValue(maximum));
}

void MainWindow::SetTotalPosition(long long position) {
  total_bar_->setValue(ToBarValue(position));
  KeepPainting();
}

void MainWindow::SetTotalPercent(std::string_view text) { total_percent_->setText(ToQString(text)); }

void MainWindow::SetTotalText(std::string_view text) {
  total_files_->setText(ToQString(text));
  KeepPainting();
}

ProgressSink* MainWindow::FileProgress() { return file_progress_.get(); }

}  // namespace velmorane
