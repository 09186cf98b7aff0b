// The main window and its commands.
#include "frontends/window/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStatusBar>
#include <QTime>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <array>
#include <climits>
#include <filesystem>

#include "base/paths.h"
#include "frontends/settings/settings_files.h"
#include "frontends/window/conversion_thread.h"
#include "frontends/window/dialogs.h"
#include "frontends/window/qt_text.h"
#include "platform/files.h"

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

// The window's own state (size, log shown) beside the paths file.
constexpr char kWindowStateFile[] = "window.ini";

int ToBarValue(long long value) {
  return value > INT_MAX ? INT_MAX : static_cast<int>(value < 0 ? 0 : value);
}

// A file's line of the log, worded as in the run log of the command line.
QString LogLine(const QString& input, const QString& output, int result) {
  switch (static_cast<ConvertResult>(result)) {
    case ConvertResult::kDone:
      return input + " -> " + output + ": Converted successfully!";
    case ConvertResult::kNoMemory:
      return input + ": Error! Not enough memory";
    case ConvertResult::kCannotCreateOutput:
      return input + ": Error! Can't create output file (maybe file has open another application)";
    case ConvertResult::kCannotOpenInput:
      return input + ": Error! Can't open " + input + " file.";
    case ConvertResult::kInputEmpty:
      return input + ": Error! HTML file is empty";
    default:
      return input + ": Unknown error!";
  }
}

QString Clock() { return QTime::currentTime().toString("H:m:s"); }

// "2 of 5 files converted", with "file" when one was converted, as the summary counts.
QString CountText(qint64 converted, qint64 total) {
  return QString("%1 of %2 file%3 converted")
      .arg(converted)
      .arg(total)
      .arg(converted == 1 ? "" : "s");
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle("Velmorane Converter Pro");
  setObjectName("mainWindow");
  setAcceptDrops(true);
  // The paths file lives with the options file, never in the folder we were started in.
  settings_folder_ = SettingsFolder();
  options_ = LoadStartupOptions();
  extension_ = ".rtf";
  BuildControls();
  BuildMenus();

  ConversionThread::Answers answers;
  answers.show_message = [this](const QString& title, const QString& text) {
    ShowMessage(title, text);
  };
  answers.ask_yes_no = [this](const QString& title, const QString& text) {
    return AskYesNo(title, text);
  };
  answers.ask_overwrite = [this](const QString& name, QString& rename) {
    return AskOverwrite(name, rename);
  };
  run_ = new ConversionThread(std::move(answers), this);
  connect(run_, &ConversionThread::currentFile, current_file_, &QLabel::setText);
  connect(run_, &ConversionThread::totalRange, this,
          [this](qint64 maximum) { total_bar_->setRange(0, ToBarValue(maximum)); });
  connect(run_, &ConversionThread::totalPosition, this,
          [this](qint64 position) { total_bar_->setValue(ToBarValue(position)); });
  connect(run_, &ConversionThread::totalPercent, total_percent_, &QLabel::setText);
  connect(run_, &ConversionThread::totalText, total_files_, &QLabel::setText);
  connect(run_, &ConversionThread::fileRange, file_bar_, &QProgressBar::setRange);
  connect(run_, &ConversionThread::filePosition, file_bar_, &QProgressBar::setValue);
  connect(run_, &ConversionThread::filePercent, file_percent_, &QLabel::setText);
  connect(run_, &ConversionThread::fileConverted, this, &MainWindow::OnFileConverted);
  connect(run_, &ConversionThread::fileWarning, this,
          [this](const QString& input, const QString& text) {
            AppendLog(input + ": Warning! " + text);
          });
  connect(run_, &ConversionThread::finished, this, &MainWindow::OnFinished);

  // The last used paths, or an empty input and the current folder for the output.
  PathsSettings paths;
  (void)ReadPathsFileAt(settings_folder_ + kPathsFileName, paths);
  input_path_->setText(ToQString(paths.input_path));
  output_path_->setText(
      ToQString(paths.output_path.empty() ? CurrentFolder() : paths.output_path));
  convert_tables_->setChecked(paths.convert_tables);
  convert_images_->setChecked(paths.convert_images);
  for (const char* name : kEncodings) encoding_->addItem(name);
  encoding_->setCurrentIndex(0);
  subfolders_->setEnabled(false);
  RestoreWindowState();
  statusBar()->showMessage("Ready");
}

MainWindow::~MainWindow() {
  // A run still going is stopped after its files in progress before the widgets go.
  delete run_;
  run_ = nullptr;
}

std::string MainWindow::SettingsFolder() { return OptionsFolder(); }

bool MainWindow::converting() const { return run_ != nullptr && run_->running(); }

QString MainWindow::logText() const { return log_->toPlainText(); }

void MainWindow::BuildControls() {
  auto* central = new QWidget(this);
  central->setObjectName("centralWidget");
  setCentralWidget(central);
  settings_area_ = new QWidget(central);

  input_path_ = Named(new QLineEdit(settings_area_), "inputPathEdit");
  output_path_ = Named(new QLineEdit(settings_area_), "outputPathEdit");
  input_path_->setPlaceholderText("an HTML file, or a folder (drop one here)");
  output_path_->setPlaceholderText("the folder the results go to");
  for (QLineEdit* edit : {input_path_, output_path_}) {
    edit->setMaxLength(kPathLimit);
    edit->setClearButtonEnabled(true);
    // The window takes dropped files; the edits leave them to it.
    edit->setAcceptDrops(false);
  }
  auto* input_browse = Named(new QPushButton("Browse...", settings_area_), "inputBrowseButton");
  auto* output_browse = Named(new QPushButton("Browse...", settings_area_), "outputBrowseButton");
  convert_all_ = Named(new QCheckBox("convert all files in this folder", settings_area_),
                       "convertAllCheck");
  subfolders_ = Named(new QCheckBox("search in subfolders", settings_area_), "subfoldersCheck");
  rtf_ = Named(new QRadioButton("*.rtf", settings_area_), "rtfRadio");
  doc_ = Named(new QRadioButton("*.doc", settings_area_), "docRadio");
  txt_ = Named(new QRadioButton("*.txt", settings_area_), "txtRadio");
  rtf_->setChecked(true);
  convert_tables_ = Named(new QCheckBox("convert tables", settings_area_), "convertTablesCheck");
  convert_images_ = Named(new QCheckBox("convert images", settings_area_), "convertImagesCheck");
  auto* tables_tuning =
      Named(new QPushButton("Tables tuning", settings_area_), "tablesTuningButton");
  auto* images_tuning =
      Named(new QPushButton("Images tuning", settings_area_), "imagesTuningButton");
  encoding_ = Named(new QComboBox(settings_area_), "encodingCombo");
  convert_ = Named(new QPushButton("Convert", central), "convertButton");
  convert_->setDefault(true);
  convert_->setMinimumWidth(110);
  cancel_ = Named(new QPushButton("Cancel", central), "cancelRunButton");
  cancel_->setToolTip("Stop after the file in progress (Esc)");
  cancel_->setShortcut(QKeySequence(Qt::Key_Escape));
  cancel_->setEnabled(false);
  auto* quit = Named(new QPushButton("Quit", central), "quitButton");
  auto* open_results = Named(new QPushButton("Open Result(s)", central), "openResultsButton");
  current_file_ = Named(new QLabel(central), "currentFileLabel");
  current_file_->setMinimumWidth(300);
  current_file_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // A long path is cut at the label's edge instead of widening the window.
  current_file_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
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
  for (QLabel* percent : {file_percent_, total_percent_}) {
    percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    percent->setMinimumWidth(percent->fontMetrics().horizontalAdvance("100") + 4);
  }

  auto* paths_box = new QGroupBox("Paths", settings_area_);
  auto* paths = new QGridLayout(paths_box);
  paths->setHorizontalSpacing(8);
  // Alt with the underlined letter moves to the field.
  auto* input_label = new QLabel("&Input file or folder:", paths_box);
  input_label->setBuddy(input_path_);
  paths->addWidget(input_label, 0, 0);
  paths->addWidget(input_path_, 0, 1);
  paths->addWidget(input_browse, 0, 2);
  auto* output_label = new QLabel("O&utput folder:", paths_box);
  output_label->setBuddy(output_path_);
  paths->addWidget(output_label, 1, 0);
  paths->addWidget(output_path_, 1, 1);
  paths->addWidget(output_browse, 1, 2);
  auto* folder_row = new QHBoxLayout;
  folder_row->setSpacing(16);
  folder_row->addWidget(convert_all_);
  folder_row->addWidget(subfolders_);
  folder_row->addStretch();
  paths->addLayout(folder_row, 2, 1, 1, 2);
  paths->setColumnStretch(1, 1);

  auto* format_box = new QGroupBox("Output format", settings_area_);
  auto* format = new QVBoxLayout(format_box);
  format->addWidget(rtf_);
  format->addWidget(doc_);
  format->addWidget(txt_);
  format->addStretch();

  auto* options_box = new QGroupBox("Options", settings_area_);
  auto* options = new QGridLayout(options_box);
  options->setHorizontalSpacing(12);
  options->addWidget(convert_tables_, 0, 0);
  options->addWidget(tables_tuning, 0, 1);
  options->addWidget(convert_images_, 1, 0);
  options->addWidget(images_tuning, 1, 1);
  auto* encoding_label = new QLabel("&Encoding:", options_box);
  encoding_label->setBuddy(encoding_);
  options->addWidget(encoding_label, 2, 0);
  options->addWidget(encoding_, 2, 1);
  options->setColumnStretch(2, 1);

  auto* middle = new QHBoxLayout;
  middle->setSpacing(12);
  middle->addWidget(format_box);
  middle->addWidget(options_box, 1);

  auto* settings_layout = new QVBoxLayout(settings_area_);
  settings_layout->setContentsMargins(0, 0, 0, 0);
  settings_layout->setSpacing(12);
  settings_layout->addWidget(paths_box);
  settings_layout->addLayout(middle);

  auto* progress_box = new QGroupBox("Progress", central);
  auto* progress = new QGridLayout(progress_box);
  progress->setVerticalSpacing(6);
  progress->addWidget(new QLabel("Current file:", progress_box), 0, 0);
  progress->addWidget(current_file_, 0, 1, 1, 3);
  progress->addWidget(file_bar_, 1, 0, 1, 2);
  progress->addWidget(file_percent_, 1, 2);
  progress->addWidget(new QLabel("%", progress_box), 1, 3);
  progress->addWidget(new QLabel("Total files:", progress_box), 2, 0);
  progress->addWidget(total_files_, 2, 1, 1, 3);
  progress->addWidget(total_bar_, 3, 0, 1, 2);
  progress->addWidget(total_percent_, 3, 2);
  progress->addWidget(new QLabel("%", progress_box), 3, 3);
  progress->setColumnStretch(1, 1);

  // The log: one line per file, folded away until asked for.
  log_toggle_ = Named(new QToolButton(central), "logToggle");
  log_toggle_->setText("Log");
  log_toggle_->setCheckable(true);
  log_toggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  log_toggle_->setArrowType(Qt::RightArrow);
  log_toggle_->setAutoRaise(true);
  log_ = Named(new QPlainTextEdit(central), "logView");
  log_->setReadOnly(true);
  log_->setLineWrapMode(QPlainTextEdit::NoWrap);
  log_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  log_->setMaximumBlockCount(20000);
  log_->setMinimumHeight(120);
  log_->setVisible(false);
  auto* clear_log = Named(new QToolButton(central), "clearLogButton");
  clear_log->setText("Clear");
  clear_log->setAutoRaise(true);
  clear_log->setVisible(false);

  auto* log_row = new QHBoxLayout;
  log_row->addWidget(log_toggle_);
  log_row->addStretch();
  log_row->addWidget(clear_log);

  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(8);
  buttons->addWidget(convert_);
  buttons->addWidget(cancel_);
  buttons->addWidget(open_results);
  buttons->addStretch();
  buttons->addWidget(quit);

  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(14, 12, 14, 10);
  layout->setSpacing(12);
  layout->addWidget(settings_area_);
  layout->addWidget(progress_box);
  layout->addLayout(log_row);
  layout->addWidget(log_, 1);
  // Takes the spare height while the log is folded away, so the groups keep theirs.
  layout->addStretch(0);
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
  connect(cancel_, &QPushButton::clicked, this, &MainWindow::CancelConversion);
  connect(open_results, &QPushButton::clicked, this, &MainWindow::OpenResults);
  connect(quit, &QPushButton::clicked, this, &MainWindow::close);
  // Enter in a path field starts the conversion.
  connect(input_path_, &QLineEdit::returnPressed, this, &MainWindow::Convert);
  connect(output_path_, &QLineEdit::returnPressed, this, &MainWindow::Convert);
  connect(log_toggle_, &QToolButton::toggled, this, &MainWindow::SetLogVisible);
  connect(log_toggle_, &QToolButton::toggled, clear_log, &QWidget::setVisible);
  connect(clear_log, &QToolButton::clicked, log_, &QPlainTextEdit::clear);
}

void MainWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("fileMenu");
  settings_action_ = file->addAction("&Settings...", this, &MainWindow::OpenSettings);
  settings_action_->setObjectName("settingsAction");
  QAction* save = file->addAction("Save &configuration", this, &MainWindow::SaveConfiguration);
  save->setShortcut(QKeySequence::Save);
  save->setObjectName("saveConfigurationAction");
  file->addSeparator();
  QAction* quit = file->addAction("&Quit", this, &MainWindow::close);
  quit->setShortcut(QKeySequence::Quit);
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
  std::error_code error;
  std::filesystem::create_directories(settings_folder_, error);
  std::string folder = settings_folder_;
  (void)WritePathsFile(paths, folder);
}

void MainWindow::SaveConfiguration() {
  WritePaths();
  ShowMessage(kThankYouTitle, "Input path: \"" + input_path_->text() + "\".\nOutput path: \"" +
                                  output_path_->text() + "\".\n\nSaved successfully.");
}

void MainWindow::ClearProgress() {
  current_file_->clear();
  file_bar_->setRange(0, 50);
  file_bar_->setValue(0);
  file_percent_->setText("0");
  total_bar_->setRange(0, 50);
  total_bar_->setValue(0);
  total_percent_->setText("0");
  total_files_->clear();
}

void MainWindow::SetConverting(bool converting) {
  settings_area_->setEnabled(!converting);
  settings_action_->setEnabled(!converting);
  convert_->setEnabled(!converting);
  cancel_->setEnabled(converting);
  if (converting) {
    cancel_->setFocus();
  } else {
    convert_->setFocus();
  }
}

void MainWindow::Convert() {
  if (converting()) return;
  // Nothing of the previous run stays on show.
  ClearProgress();
  BatchSettings settings;
  settings.convert_images = convert_images_->isChecked() && convert_images_->isEnabled();
  settings.encoding_name = ToStd(encoding_->currentText());
  settings.output_mode = outputMode();
  SetField(options_.output_extension, extension_);
  settings.options = options_;
  (void)WriteOptionsFile(options_);
  WritePaths();

  BatchRequest request;
  request.input_path = ToStd(input_path_->text());
  request.output_folder = ToStd(output_path_->text());
  request.all_files = convert_all_->isChecked();
  request.subfolders = request.all_files && subfolders_->isChecked();
  // A tree lands in a copy of itself below the output folder, as on the command line.
  request.mirror_tree = request.subfolders && !ClassicWindowDefaults();
  request.output_extension = extension_;
  request.jobs = DefaultJobs();  // folder runs convert on every core

  AppendLog("Begin converting in: " + Clock());
  SetConverting(true);
  statusBar()->showMessage("Converting...");
  run_->Start(std::move(request), std::make_unique<EngineConverter>(std::move(settings)));
}

void MainWindow::CancelConversion() {
  if (!converting()) return;
  run_->Cancel();
  cancel_->setEnabled(false);
  statusBar()->showMessage("Stopping after the file in progress...");
}

void MainWindow::OnFileConverted(const QString& input, const QString& output, int result) {
  AppendLog(LogLine(input, output, result));
}

void MainWindow::OnFinished(qint64 converted, qint64 total) {
  const bool stopped = run_->cancelled();
  AppendLog((stopped ? "Conversion stopped: " : "") + CountText(converted, total) +
            ". End of converting in: " + Clock());
  SetConverting(false);
  file_bar_->setValue(0);
  file_percent_->setText("0");
  statusBar()->showMessage((stopped ? "Conversion stopped: " : "") + CountText(converted, total) +
                           ".");
  emit conversionFinished();
  if (close_when_done_) close();
}

void MainWindow::AppendLog(const QString& line) { log_->appendPlainText(line); }

void MainWindow::SetLogVisible(bool visible) {
  log_toggle_->setChecked(visible);
  log_toggle_->setArrowType(visible ? Qt::DownArrow : Qt::RightArrow);
  auto* layout = static_cast<QVBoxLayout*>(centralWidget()->layout());
  layout->setStretch(layout->indexOf(log_) + 1, visible ? 0 : 1);
  if (visible == !log_->isHidden()) return;
  // The window grows by the log's height and gives it back when it folds away.
  const int change = log_->sizeHint().height() + layout->spacing();
  log_->setVisible(visible);
  if (isVisible() && !isMaximized()) resize(width(), height() + (visible ? change : -change));
}

void MainWindow::OpenResults() {
  QDesktopServices::openUrl(QUrl::fromLocalFile(output_path_->text()));
}

void MainWindow::ShowHelp() {
  QMessageBox::information(
      this, "Velmorane Converter Pro",
      "Choose an HTML file (or a folder with \"convert all files in this folder\", and its "
      "subfolders with \"search in subfolders\"), an output folder and a format, then press "
      "Convert or Enter. A file or folder dropped on the window becomes the input.\n\n"
      "Cancel stops a run after the file in progress. The log lists every file's result.\n\n"
      "File > Settings edits the conversion settings and the page setup.");
}

void MainWindow::ShowAbout() {
  QMessageBox::about(this, "About Velmorane Converter Pro",
                     "Velmorane Converter Pro\nVersion 3.0\n\nConverts HTML pages into RTF "
                     "documents or plain text.");
}

void MainWindow::TakeInputPath(const QString& path) {
  if (path.isEmpty() || converting()) return;
  input_path_->setText(QDir::toNativeSeparators(path));
  // A folder is converted whole; a file on its own.
  convert_all_->setChecked(QFileInfo(path).isDir());
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (converting() || !event->mimeData()->hasUrls()) return;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) {
      event->acceptProposedAction();
      return;
    }
  }
}

void MainWindow::dropEvent(QDropEvent* event) {
  for (const QUrl& url : event->mimeData()->urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = url.toLocalFile();
    // A folder dropped on the output field becomes the output folder.
    const QWidget* target = childAt(event->position().toPoint());
    if (target != nullptr && (target == output_path_ || output_path_->isAncestorOf(target)) &&
        QFileInfo(path).isDir()) {
      output_path_->setText(QDir::toNativeSeparators(path));
    } else {
      TakeInputPath(path);
    }
    event->acceptProposedAction();
    return;
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (converting()) {
    // The files in progress are finished first, so none is left half written.
    close_when_done_ = true;
    CancelConversion();
    event->ignore();
    return;
  }
  SaveWindowState();
  event->accept();
}

void MainWindow::RestoreWindowState() {
  const QSettings state(ToQString(settings_folder_ + kWindowStateFile), QSettings::IniFormat);
  const QSize size = state.value("window/size").toSize();
  resize(size.isValid() ? size.expandedTo(minimumSizeHint())
                        : QSize(680, sizeHint().height()));
  SetLogVisible(state.value("window/log", false).toBool());
}

void MainWindow::SaveWindowState() {
  QSettings state(ToQString(settings_folder_ + kWindowStateFile), QSettings::IniFormat);
  state.setValue("window/size", size());
  state.setValue("window/log", !log_->isHidden());
}

// ---- the run's messages and questions ----

void MainWindow::ShowMessage(const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, this);
  if (title == kErrorTitle) {
    box.setIcon(QMessageBox::Critical);
    // The failed file's progress is over; its bar does not linger.
    file_bar_->setValue(0);
    file_percent_->setText("0");
  } else if (title == kThankYouTitle) {
    box.setIcon(QMessageBox::Information);
  }
  box.exec();
}

bool MainWindow::AskYesNo(const QString& title, const QString& text) {
  return QMessageBox::question(this, title, text, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

OverwriteChoice MainWindow::AskOverwrite(const QString& file_name, QString& rename_to) {
  WarningDialog dialog(file_name, rename_to, this);
  dialog.exec();
  rename_to = dialog.renameTo();
  return dialog.choice();
}

}  // namespace velmorane
