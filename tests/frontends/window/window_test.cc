// The settings dialogs, the Warning dialog and the main window's switches, driven through
// their widgets on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QMessageBox>
#include <QRadioButton>
#include <QEventLoop>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "frontends/settings/settings_files.h"
#include "frontends/window/dialogs.h"
#include "frontends/window/main_window.h"
#include "platform/files.h"
#include "support/test_support.h"
#include "window_test_support.h"

namespace velmorane {
namespace {

// Every test starts without an options file and in an empty current directory.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    const std::string folder = testing::MakeTempFolder();
    ::setenv("XDG_CONFIG_HOME", (folder + "config").c_str(), 1);
    std::filesystem::current_path(folder);
  }
  void TearDown() override { std::filesystem::current_path(previous_); }

  static ConversionOptions Stored() {
    ConversionOptions stored{};
    EXPECT_TRUE(ReadOptionsFile(stored));
    return stored;
  }

 private:
  std::filesystem::path previous_;
};

// A widget's state as one text: the text it shows, or checked/unchecked, and "disabled".
std::string State(QWidget& parent, const char* name) {
  QWidget* widget = Find<QWidget>(parent, name);
  if (widget == nullptr) return "missing";
  std::string state;
  if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    state = combo->currentText().toStdString();
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    state = edit->text().toStdString();
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    state = label->text().toStdString();
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    state = button->isChecked() ? "checked" : "unchecked";
  }
  if (!widget->isEnabled()) state += " disabled";
  return state;
}

struct StateRow {
  const char* name;
  const char* state;
};

void ExpectStates(QWidget& dialog, std::initializer_list<StateRow> rows) {
  for (const StateRow& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(State(dialog, row.name), row.state);
  }
}

// VELMORANE_WINDOW_CLASSIC=1 for the life of the object: the window's settings of older
// versions, which these tests pin down.
class ClassicWindow {
 public:
  ClassicWindow() { ::setenv("VELMORANE_WINDOW_CLASSIC", "1", 1); }
  ~ClassicWindow() { ::unsetenv("VELMORANE_WINDOW_CLASSIC"); }
  ClassicWindow(const ClassicWindow&) = delete;
  ClassicWindow& operator=(const ClassicWindow&) = delete;
};

TEST_F(WindowTest, DialogDefaultsWithoutOptionsFile) {
  const ClassicWindow classic;  // the former defaults and one-folder trees
  ProgramSettingsDialog settings;
  ExpectStates(settings, {{"fontFaceCombo", "Arial"},
                          {"fontSizeCombo", "10"},
                          {"alignmentCombo", "left"},
                          {"languageCombo", "English"},
                          {"tableBorderCombo", "invisible"},
                          {"standardRadio", "unchecked"},
                          {"preciseRadio", "unchecked"},
                          {"customRadio", "checked"},
                          {"keepHyperlinksCheck", "unchecked"},
                          {"keepFontFaceCheck", "unchecked"},
                          {"keepFontSizeCheck", "unchecked"},
                          {"keepFontColorCheck", "checked"},
                          {"keepAlignmentCheck", "checked"},
                          {"keepBackgroundCheck", "unchecked"},
                          {"lineFoldingCheck", "unchecked"},
                          {"lineWidthEdit", "80 disabled"}});
  EXPECT_EQ(Find<QComboBox>(settings, "fontSizeCombo")->count(), 19);
  EXPECT_EQ(Find<QComboBox>(settings, "languageCombo")->count(), 26);
  EXPECT_EQ(Find<QComboBox>(settings, "languageCombo")->itemText(25), "Korean");

  PageSetupDialog page;  // Letter paper in inches
  ExpectStates(page, {{"paperCombo", "Letter"},
                      {"widthEdit", "8.5"},
                      {"heightEdit", "11"},
                      {"topEdit", "0.5"},
                      {"bottomEdit", "1"},
                      {"leftEdit", "0.5"},
                      {"rightEdit", "0.5"},
                      {"portraitRadio", "checked"},
                      {"inchesRadio", "checked"},
                      {"mmRadio", "unchecked"},
                      {"pageNumbersCheck", "unchecked"}});
  EXPECT_EQ(Find<QComboBox>(page, "paperCombo")->count(), 9);

  TableOptionsDialog tables;
  ExpectStates(tables, {{"preserveWidthCheck", "checked"}, {"preserveNestedCheck", "checked"}});
  ImageOptionsDialog images;
  ExpectStates(images, {{"pngJpgRadio", "checked"},
                        {"wmfRadio", "unchecked"},
                        {"downloadCheck", "unchecked"}});
  EXPECT_FALSE(FileExists(OptionsFilePath()));  // opening writes nothing
}

TEST_F(WindowTest, CancelStoresNothingAndOkStores) {
  const ClassicWindow classic;  // the former defaults and one-folder trees
  {
    ProgramSettingsDialog settings;
    Find<QComboBox>(settings, "fontSizeCombo")->setCurrentText("12");
    settings.reject();
    PageSetupDialog page;
    Find<QLineEdit>(page, "widthEdit")->setText("3");
    page.reject();
  }
  EXPECT_FALSE(FileExists(OptionsFilePath()));

  ProgramSettingsDialog settings;
  Find<QComboBox>(settings, "fontSizeCombo")->setCurrentText("12");
  Find<QComboBox>(settings, "languageCombo")->setCurrentText("Russian");
  Find<QCheckBox>(settings, "lineFoldingCheck")->click();
  EXPECT_TRUE(Find<QLineEdit>(settings, "lineWidthEdit")->isEnabled());
  Find<QLineEdit>(settings, "lineWidthEdit")->setText("1234567890123");
  settings.accept();
  EXPECT_EQ(settings.result(), QDialog::Accepted);
  ConversionOptions stored = Stored();
  EXPECT_EQ(FieldText(stored.font_size), "12");
  EXPECT_EQ(FieldText(stored.rtf_language), "Russian");
  EXPECT_EQ(stored.line_folding, 1);
  EXPECT_EQ(FieldText(stored.max_line_width), "123456789");  // at most 9 characters
  EXPECT_EQ(stored.paper_width, 12240);

  // The table and image dialogs hand their values back without writing the file.
  TableOptionsDialog tables;
  Find<QCheckBox>(tables, "preserveNestedCheck")->click();
  tables.accept();
  EXPECT_TRUE(tables.keepTableWidth());
  EXPECT_FALSE(tables.keepNestedTables());
  ImageOptionsDialog images;
  Find<QRadioButton>(images, "wmfRadio")->click();
  Find<QCheckBox>(images, "downloadCheck")->click();
  images.accept();
  EXPECT_EQ(images.imageFormat(), 1);
  EXPECT_TRUE(images.downloadImages());
  EXPECT_EQ(Stored().keep_nested_tables, 1);
  EXPECT_EQ(Stored().image_format, 0);
}

TEST_F(WindowTest, ConversionTypeDecidesTheKeepFlags) {
  const ClassicWindow classic;  // the former defaults and one-folder trees
  const struct {
    const char* radio;
    int type;
    bool boxes_enabled;
    int flags[6];  // hyperlinks, face, size, color, alignment, background
  } cases[] = {
      {"standardRadio", 0, false, {0, 0, 0, 0, 0, 0}},
      {"preciseRadio", 1, false, {1, 1, 1, 1, 1, 1}},
      {"customRadio", 2, true, {1, 0, 0, 1, 1, 0}},  // the boxes as left below
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.radio);
    std::filesystem::remove(OptionsFilePath());
    ProgramSettingsDialog settings;
    Find<QRadioButton>(settings, "customRadio")->click();
    Find<QCheckBox>(settings, "keepHyperlinksCheck")->click();
    Find<QRadioButton>(settings, c.radio)->click();
    EXPECT_EQ(Find<QCheckBox>(settings, "keepFontFaceCheck")->isEnabled(), c.boxes_enabled);
    EXPECT_EQ(Find<QCheckBox>(settings, "keepBackgroundCheck")->isEnabled(), c.boxes_enabled);
    settings.accept();
    const ConversionOptions o = Stored();
    EXPECT_EQ(o.conversion_type, c.type);
    const int flags[6] = {o.keep_hyperlinks, o.keep_font_face, o.keep_font_size,
                          o.keep_font_color, o.keep_alignment, o.keep_background_color};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(flags[i], c.flags[i]) << i;
  }
}

TEST_F(WindowTest, ResetRestoresDefaultsAndWritesTheFile) {
  const ClassicWindow classic;  // the former defaults and one-folder trees
  ConversionOptions stored = DialogDefaultOptions();
  stored.conversion_type = 0;
  SetField(stored.font_face, "Verdana");
  SetField(stored.page_alignment, "justify");
  stored.table_border = 2;
  stored.line_folding = 1;
  SetField(stored.max_line_width, "60");
  stored.orientation = 1;
  stored.paper_width = 11907;
  stored.paper_height = 16839;
  stored.margin_top = 100;
  stored.page_numbers = 2;
  stored.image_format = 1;
  ASSERT_TRUE(WriteOptionsFile(stored));

  ProgramSettingsDialog settings;
  ExpectStates(settings, {{"standardRadio", "checked"},
                          {"alignmentCombo", "justify"},
                          {"tableBorderCombo", "as in HTML"},
                          {"lineWidthEdit", "60"}});
  Find<QPushButton>(settings, "resetButton")->click();
  ExpectStates(settings, {{"customRadio", "checked"},
                          {"keepHyperlinksCheck", "unchecked"},
                          {"keepBackgroundCheck", "checked"},
                          {"fontFaceCombo", "Arial"},
                          {"lineFoldingCheck", "unchecked"},
                          {"lineWidthEdit", "80 disabled"}});
  const ConversionOptions o = Stored();
  EXPECT_EQ(o.conversion_type, 2);
  EXPECT_EQ(o.keep_hyperlinks, 0);
  EXPECT_EQ(o.keep_font_face + o.keep_font_size + o.keep_font_color + o.keep_alignment +
                o.keep_background_color, 5);
  EXPECT_EQ(FieldText(o.font_face), "Arial");
  EXPECT_EQ(FieldText(o.font_size), "10");
  EXPECT_EQ(FieldText(o.page_alignment), "left");
  EXPECT_EQ(FieldText(o.rtf_language), "English");
  EXPECT_EQ(o.table_border, 0);
  EXPECT_EQ(o.line_folding, 0);
  EXPECT_EQ(FieldText(o.max_line_width), "80");
  EXPECT_EQ(o.orientation, 0);
  EXPECT_EQ(o.paper_width, 12240);
  EXPECT_EQ(o.paper_height, 15840);
  EXPECT_EQ(o.margin_left, 720);
  EXPECT_EQ(o.margin_right, 720);
  EXPECT_EQ(o.margin_top, 720);
  EXPECT_EQ(o.margin_bottom, 1440);
  EXPECT_EQ(o.page_numbers, 0);
  EXPECT_EQ(o.image_format, 1);  // not part of the reset
  EXPECT_NE(settings.result(), QDialog::Accepted);
}

TEST_F(WindowTest, PageSetupShowsAndReadsUnits) {
  ConversionOptions stored = DialogDefaultOptions();
  stored.paper_width = 11906;  // one twip short of A4
  stored.paper_height = 16838;
  stored.margin_left = 727;
  stored.margin_right = 683;
  ASSERT_TRUE(WriteOptionsFile(stored));
  {
    PageSetupDialog page;
    ExpectStates(page, {{"paperCombo", "Other"}, {"leftEdit", "0.5"}});
    Find<QRadioButton>(page, "mmRadio")->click();  // every field is converted
    ExpectStates(page, {{"rightEdit", "12"}, {"leftEdit", "12,8"}, {"widthEdit", "210"}});
    Find<QLineEdit>(page, "widthEdit")->setText("0");
    Find<QLineEdit>(page, "topEdit")->setText("10,5");
    page.accept();
  }
  ConversionOptions o = Stored();
  EXPECT_EQ(o.paper_width, 11907);
  EXPECT_EQ(o.paper_height, 16838);  // untouched fields keep their exact twips
  EXPECT_EQ(o.margin_left, 727);
  EXPECT_EQ(o.margin_top, 595);
  EXPECT_EQ(o.page_setup_unit, 1);
  {
    PageSetupDialog page;  // opens in millimetres now
    ExpectStates(page, {{"mmRadio", "checked"}, {"paperCombo", "Other"}, {"rightEdit", "12"}});
    Find<QComboBox>(page, "paperCombo")->setCurrentText("Legal");
    ExpectStates(page, {{"widthEdit", "215,9"}, {"heightEdit", "355,6"}});
    Find<QRadioButton>(page, "landscapeRadio")->click();
    ExpectStates(page, {{"widthEdit", "355,6"}, {"heightEdit", "215,9"}});
    Find<QCheckBox>(page, "pageNumbersCheck")->click();
    page.accept();
  }
  o = Stored();
  EXPECT_EQ(o.orientation, 1);
  EXPECT_EQ(o.paper_width, 12240);  // stored in portrait
  EXPECT_EQ(o.paper_height, 20160);
  EXPECT_EQ(o.page_numbers, 1);
}

TEST_F(WindowTest, WarningDialogButtons) {
  const struct {
    const char* button;
    OverwriteChoice choice;
  } cases[] = {
      {"overwriteButton", OverwriteChoice::kOverwrite},
      {"overwriteAllButton", OverwriteChoice::kOverwriteAll},
      {"renameButton", OverwriteChoice::kRename},
      {"skipButton", OverwriteChoice::kSkip},
      {"cancelButton", OverwriteChoice::kSkip},
      {"skipAllButton", OverwriteChoice::kSkipAll},
      {"stopButton", OverwriteChoice::kStop},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    WarningDialog dialog("index.rtf", "index(DIR docs).rtf");
    EXPECT_EQ(Find<QLabel>(dialog, "warningText")->text(), "index.rtf\n already exists!");
    EXPECT_EQ(dialog.renameTo(), "index(DIR docs).rtf");
    Find<QPushButton>(dialog, c.button)->click();
    EXPECT_EQ(dialog.choice(), c.choice);
  }
}

TEST_F(WindowTest, MainWindowStartsWithItsControls) {
  ConversionOptions stored = DialogDefaultOptions();
  stored.paper_width = 11906;
  stored.paper_height = 16838;
  stored.margin_bottom = 20000;
  ASSERT_TRUE(WriteOptionsFile(stored));
  MainWindow window;
  EXPECT_EQ(window.options().margin_bottom, 1440);
  const std::string here = CurrentFolder();
  // No paths file yet: the input starts empty, the output with the current folder.
  ExpectStates(window, {{"inputPathEdit", ""},
                        {"outputPathEdit", here.c_str()},
                        {"convertAllCheck", "unchecked"},
                        {"subfoldersCheck", "unchecked disabled"},
                        {"rtfRadio", "checked"},
                        {"convertTablesCheck", "checked"},
                        {"convertImagesCheck", "unchecked"},
                        {"encodingCombo", "Auto-Select"}});
  const struct {
    const char* name;
    const char* caption;
  } captions[] = {
      {"convertButton", "Convert"},       {"quitButton", "Quit"},
      {"openResultsButton", "Open Result(s)"}, {"tablesTuningButton", "Tables tuning"},
      {"imagesTuningButton", "Images tuning"}, {"docRadio", "*.doc"},
      {"txtRadio", "*.txt"},              {"convertAllCheck", "convert all files in this folder"},
  };
  for (const auto& c : captions) {
    EXPECT_EQ(Find<QAbstractButton>(window, c.name)->text().toStdString(), c.caption);
  }
  auto* encodings = Find<QComboBox>(window, "encodingCombo");
  ASSERT_EQ(encodings->count(), 14);
  EXPECT_EQ(encodings->itemText(13), "(UTF-8) Unicode");

  Find<QCheckBox>(window, "convertAllCheck")->click();
  EXPECT_EQ(State(window, "subfoldersCheck"), "unchecked");
  Find<QRadioButton>(window, "txtRadio")->click();
  EXPECT_EQ(State(window, "convertImagesCheck"), "unchecked disabled");
  EXPECT_EQ(window.outputMode(), kModePlainText);  // whatever "convert tables" says
  EXPECT_EQ(window.outputExtension(), ".txt");
  Find<QRadioButton>(window, "docRadio")->click();
  EXPECT_EQ(State(window, "convertImagesCheck"), "unchecked");
  EXPECT_EQ(window.outputMode(), kModeRtfTables);
  Find<QCheckBox>(window, "convertTablesCheck")->click();
  EXPECT_EQ(window.outputMode(), kModeRtfNoTables);
}

TEST_F(WindowTest, ConvertWritesSettingsAndConvertsTheFile) {
  const std::string here = CurrentFolder();
  ASSERT_TRUE(WriteBinaryFile(here + "page.htm", "<html><body><p>Hello</p></body></html>"));
  MainWindow window;
  Find<QLineEdit>(window, "inputPathEdit")->setText(QString::fromStdString(here + "page.htm"));
  Find<QLineEdit>(window, "outputPathEdit")->setText(QString::fromStdString(here + "out"));
  Find<QRadioButton>(window, "docRadio")->click();
  MessageBoxCloser closer;
  window.Convert();
  WaitForRun(window);
  EXPECT_EQ(closer.texts,
            (std::vector<std::string>{
                "Error!|The directory " + here + "out/ does not exist\nCreate?",
                "Thank you for using Velmorane Converter Pro!|Conversion completed. 1 file "
                "converted successfully."}));
  EXPECT_TRUE(FileExists(here + "out/page.doc"));
  EXPECT_EQ(State(window, "totalFilesLabel"), "1 of 1 file converted successfully.");
  EXPECT_EQ(State(window, "totalPercentLabel"), "0");
  PathsSettings paths;
  ASSERT_TRUE(ReadPathsFileAt(MainWindow::SettingsFolder() + kPathsFileName, paths));
  EXPECT_EQ(paths.output_path, here + "out");
  EXPECT_EQ(FieldText(Stored().output_extension), ".doc");
}

TEST_F(WindowTest, TreeRunRenamesThroughTheWarningDialog) {
  const ClassicWindow classic;  // the former defaults and one-folder trees
  const std::string here = CurrentFolder();
  std::filesystem::create_directories(here + "site/docs");
  ASSERT_TRUE(WriteBinaryFile(here + "site/index.htm", "<p>top</p>"));
  ASSERT_TRUE(WriteBinaryFile(here + "site/docs/index.htm", "<p>docs</p>"));
  std::filesystem::create_directories(here + "out");
  MainWindow window;
  Find<QLineEdit>(window, "inputPathEdit")->setText(QString::fromStdString(here + "site"));
  Find<QLineEdit>(window, "outputPathEdit")->setText(QString::fromStdString(here + "out/"));
  Find<QCheckBox>(window, "convertAllCheck")->click();
  Find<QCheckBox>(window, "subfoldersCheck")->click();
  MessageBoxCloser closer;
  window.Convert();
  WaitForRun(window);
  EXPECT_EQ(closer.texts,
            (std::vector<std::string>{"Warning|index(DIR docs).rtf",
                                      "Thank you for using Velmorane Converter Pro!|Conversion "
                                      "completed. 2 files converted successfully."}));
  EXPECT_TRUE(FileExists(here + "out/index(DIR docs).rtf"));
  EXPECT_EQ(State(window, "totalFilesLabel"), "");  // cleared after the summary
}

}  // namespace
}  // namespace velmorane

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
