// The settings dialogs and the Warning dialog.
#include "frontends/window/dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <utility>

#include "frontends/settings/page_setup.h"
#include "frontends/settings/settings_files.h"
#include "frontends/window/qt_text.h"

namespace velmorane {

namespace {

// OK and Cancel at the bottom of a dialog.
QDialogButtonBox* OkCancel(QDialog* dialog) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("okButton");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancelButton");
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

QLineEdit* NumberEdit(QWidget* parent, const char* name) {
  auto* edit = Named(new QLineEdit(parent), name);
  edit->setMaxLength(9);
  return edit;
}

}  // namespace

ConversionOptions LoadDialogOptions() {
  ConversionOptions record = DialogDefaultOptions();
  if (!ReadOptionsFile(record)) record = DialogDefaultOptions();
  return record;
}

// ---- Page Setup ----

void TwipsEdit::Show(int value, bool millimetres) {
  twips = value;
  shown = ToQString(TwipsToDisplay(value, millimetres));
  edit->setText(shown);
}

int TwipsEdit::Read(bool millimetres) const {
  if (edit->text() == shown) return twips;
  return DisplayToTwips(ToStd(edit->text()), millimetres);
}

PageSetupDialog::PageSetupDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Page Setup");
  setObjectName("pageSetupDialog");
  record_ = LoadDialogOptions();
  // A margin outside the paper would leave no room for text.
  NormalizeMargins(record_);

  paper_ = Named(new QComboBox(this), "paperCombo");
  for (const PaperSize& paper : kPapers) paper_->addItem(ToQString(paper.name));
  paper_->addItem(ToQString(kOtherPaper));
  width_.edit = NumberEdit(this, "widthEdit");
  height_.edit = NumberEdit(this, "heightEdit");
  top_.edit = NumberEdit(this, "topEdit");
  bottom_.edit = NumberEdit(this, "bottomEdit");
  left_.edit = NumberEdit(this, "leftEdit");
  right_.edit = NumberEdit(this, "rightEdit");
  portrait_ = Named(new QRadioButton("Portrait", this), "portraitRadio");
  landscape_ = Named(new QRadioButton("Landscape", this), "landscapeRadio");
  millimetres_ = Named(new QRadioButton("mm", this), "mmRadio");
  inches_ = Named(new QRadioButton("inches", this), "inchesRadio");
  page_numbers_ = Named(new QCheckBox("Put page numbers", this), "pageNumbersCheck");
  // The two radio pairs are separate choices.
  auto* orientation_group = new QButtonGroup(this);
  orientation_group->addButton(portrait_);
  orientation_group->addButton(landscape_);
  auto* unit_group = new QButtonGroup(this);
  unit_group->addButton(millimetres_);
  unit_group->addButton(inches_);

  auto* paper_box = new QGroupBox("Paper", this);
  auto* paper_form = new QFormLayout(paper_box);
  paper_form->addRow("Size:", paper_);
  paper_form->addRow("Width:", width_.edit);
  paper_form->addRow("Height:", height_.edit);
  auto* margin_box = new QGroupBox("Margins", this);
  auto* margin_form = new QFormLayout(margin_box);
  margin_form->addRow("Top:", top_.edit);
  margin_form->addRow("Bottom:", bottom_.edit);
  margin_form->addRow("Left:", left_.edit);
  margin_form->addRow("Right:", right_.edit);
  auto* orientation_box = new QGroupBox("Orientation", this);
  auto* orientation_layout = new QVBoxLayout(orientation_box);
  orientation_layout->addWidget(portrait_);
  orientation_layout->addWidget(landscape_);
  auto* unit_box = new QGroupBox("Units", this);
  auto* unit_layout = new QVBoxLayout(unit_box);
  unit_layout->addWidget(millimetres_);
  unit_layout->addWidget(inches_);

  auto* grid = new QGridLayout;
  grid->addWidget(paper_box, 0, 0);
  grid->addWidget(margin_box, 0, 1);
  grid->addWidget(orientation_box, 1, 0);
  grid->addWidget(unit_box, 1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(page_numbers_);
  layout->addWidget(OkCancel(this));

  // Fill the controls from the record.
  shown_millimetres_ = record_.page_setup_unit == 1;
  shown_landscape_ = record_.orientation == 1;
  (shown_millimetres_ ? millimetres_ : inches_)->setChecked(true);
  (shown_landscape_ ? landscape_ : portrait_)->setChecked(true);
  paper_->setCurrentIndex(
      static_cast<int>(PaperIndexFor(record_.paper_width, record_.paper_height)));
  ShowPaper(record_.paper_width, record_.paper_height);
  top_.Show(record_.margin_top, shown_millimetres_);
  bottom_.Show(record_.margin_bottom, shown_millimetres_);
  left_.Show(record_.margin_left, shown_millimetres_);
  right_.Show(record_.margin_right, shown_millimetres_);
  page_numbers_->setChecked(record_.page_numbers != 0);

  connect(paper_, &QComboBox::currentIndexChanged, this, &PageSetupDialog::OnPaperChosen);
  connect(millimetres_, &QRadioButton::toggled, this, &PageSetupDialog::OnUnitChanged);
  connect(landscape_, &QRadioButton::toggled, this, &PageSetupDialog::OnOrientationChanged);
  loading_ = false;
}

bool PageSetupDialog::Millimetres() const { return millimetres_->isChecked(); }

// Shows a portrait paper size, swapped when the page is landscape.
void PageSetupDialog::ShowPaper(int width, int height) {
  if (shown_landscape_) std::swap(width, height);
  width_.Show(width, shown_millimetres_);
  height_.Show(height, shown_millimetres_);
}

void PageSetupDialog::OnPaperChosen(int index) {
  if (loading_ || index < 0 || static_cast<std::size_t>(index) >= kPapers.size()) return;
  ShowPaper(kPapers[static_cast<std::size_t>(index)].width,
            kPapers[static_cast<std::size_t>(index)].height);
}

void PageSetupDialog::OnUnitChanged() {
  const bool millimetres = Millimetres();
  if (millimetres == shown_millimetres_) return;
  for (TwipsEdit* field : {&width_, &height_, &top_, &bottom_, &left_, &right_}) {
    field->Show(field->Read(shown_millimetres_), millimetres);
  }
  shown_millimetres_ = millimetres;
}

void PageSetupDialog::OnOrientationChanged() {
  const bool landscape = landscape_->isChecked();
  if (landscape == shown_landscape_) return;
  std::swap(width_.twips, height_.twips);
  std::swap(width_.shown, height_.shown);
  const QString width = width_.edit->text();
  width_.edit->setText(height_.edit->text());
  height_.edit->setText(width);
  shown_landscape_ = landscape;
}

void PageSetupDialog::accept() {
  const bool millimetres = Millimetres();
  // Page numbers: a stored "not on the first page" survives while the box stays checked.
  if (!page_numbers_->isChecked()) {
    record_.page_numbers = 0;
  } else if (record_.page_numbers == 0) {
    record_.page_numbers = 1;
  }
  int width = BoundPaperDimension(width_.Read(millimetres));
  int height = BoundPaperDimension(height_.Read(millimetres));
  if (landscape_->isChecked()) std::swap(width, height);  // the record keeps portrait sizes
  record_.paper_width = width;
  record_.paper_height = height;
  record_.margin_top = top_.Read(millimetres);
  record_.margin_bottom = bottom_.Read(millimetres);
  record_.margin_left = left_.Read(millimetres);
  record_.margin_right = right_.Read(millimetres);
  // Margins are checked against the paper rather than the paper-size bounds.
  NormalizeMargins(record_);
  record_.orientation = landscape_->isChecked() ? 1 : 0;
  record_.page_setup_unit = millimetres ? 1 : 0;
  (void)WriteOptionsFile(record_);
  QDialog::accept();
}

// ---- Program settings ----

ProgramSettingsDialog::ProgramSettingsDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Program settings");
  setObjectName("programSettingsDialog");

  font_face_ = Named(new QComboBox(this), "fontFaceCombo");
  font_face_->setEditable(true);
  font_face_->addItems(QFontDatabase::families(QFontDatabase::Cyrillic));
  font_size_ = Named(new QComboBox(this), "fontSizeCombo");
  font_size_->setEditable(true);
  for (std::string_view size : kFontSizes) font_size_->addItem(ToQString(size));
  alignment_ = Named(new QComboBox(this), "alignmentCombo");
  for (std::string_view word : kPageAlignments) alignment_->addItem(ToQString(word));
  language_ = Named(new QComboBox(this), "languageCombo");
  for (std::string_view name : kLanguages) language_->addItem(ToQString(name));
  border_ = Named(new QComboBox(this), "tableBorderCombo");
  for (std::string_view name : kTableBorders) border_->addItem(ToQString(name));

  standard_ = Named(new QRadioButton("&Standard", this), "standardRadio");
  precise_ = Named(new QRadioButton("&Precise", this), "preciseRadio");
  custom_ = Named(new QRadioButton("&Custom", this), "customRadio");
  keep_hyperlinks_ = Named(new QCheckBox("preserve hyperlinks", this), "keepHyperlinksCheck");
  keep_face_ = Named(new QCheckBox("preserve font face as in HTML", this), "keepFontFaceCheck");
  keep_size_ = Named(new QCheckBox("preserve font size as in HTML", this), "keepFontSizeCheck");
  keep_color_ =
      Named(new QCheckBox("preserve font color as in HTML", this), "keepFontColorCheck");
  keep_alignment_ =
      Named(new QCheckBox("preserve alignment as in HTML", this), "keepAlignmentCheck");
  keep_background_ =
      Named(new QCheckBox("preserve background color", this), "keepBackgroundCheck");
  line_folding_ = Named(new QCheckBox("Use line folding", this), "lineFoldingCheck");
  line_width_ = Named(new QLineEdit(this), "lineWidthEdit");
  auto* reset = Named(new QPushButton("Reset", this), "resetButton");
  auto* page_setup = Named(new QPushButton("Page Setup", this), "pageSetupButton");

  auto* font_box = new QGroupBox("Document defaults", this);
  auto* font_form = new QFormLayout(font_box);
  font_form->addRow("Font face:", font_face_);
  font_form->addRow("Font size:", font_size_);
  font_form->addRow("Page alignment:", alignment_);
  font_form->addRow("RTF language:", language_);
  font_form->addRow("Table border:", border_);
  auto* type_box = new QGroupBox("Conversion type", this);
  auto* type_layout = new QVBoxLayout(type_box);
  for (QWidget* w : std::initializer_list<QWidget*>{standard_, precise_, custom_, keep_hyperlinks_,
                                                    keep_face_, keep_size_, keep_color_,
                                                    keep_alignment_, keep_background_}) {
    type_layout->addWidget(w);
  }
  auto* text_box = new QGroupBox("Text output", this);
  auto* text_layout = new QHBoxLayout(text_box);
  text_layout->addWidget(line_folding_);
  text_layout->addWidget(new QLabel("Width:", this));
  text_layout->addWidget(line_width_);
  auto* side = new QHBoxLayout;
  side->addWidget(reset);
  side->addWidget(page_setup);
  side->addStretch();
  auto* columns = new QHBoxLayout;
  columns->addWidget(font_box);
  columns->addWidget(type_box);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  layout->addWidget(text_box);
  layout->addLayout(side);
  layout->addWidget(OkCancel(this));

  // Defaults first; a stored record then selects its own values.
  record_ = DialogDefaultOptions();
  const bool loaded = ReadOptionsFile(record_);
  if (!loaded) record_ = DialogDefaultOptions();
  SelectText(font_face_, ToQString(FieldText(record_.font_face)));
  SelectText(font_size_, ToQString(FieldText(record_.font_size)));
  SelectText(alignment_, ToQString(FieldText(record_.page_alignment)));
  SelectText(language_, ToQString(FieldText(record_.rtf_language)));
  border_->setCurrentIndex(record_.table_border >= 0 && record_.table_border < 3
                               ? record_.table_border
                               : 0);
  keep_hyperlinks_->setChecked(record_.keep_hyperlinks != 0);
  keep_face_->setChecked(record_.keep_font_face != 0);
  keep_size_->setChecked(record_.keep_font_size != 0);
  keep_color_->setChecked(record_.keep_font_color != 0);
  keep_alignment_->setChecked(record_.keep_alignment != 0);
  keep_background_->setChecked(record_.keep_background_color != 0);
  line_folding_->setChecked(record_.line_folding != 0);
  line_width_->setText(loaded ? ToQString(FieldText(record_.max_line_width)) : "80");
  line_width_->setEnabled(line_folding_->isChecked());
  if (record_.conversion_type == 1) {
    precise_->setChecked(true);
  } else if (record_.conversion_type == 2) {
    custom_->setChecked(true);
  } else {
    standard_->setChecked(true);
  }
  UpdateKeepBoxes();

  for (QRadioButton* radio : {standard_, precise_, custom_}) {
    connect(radio, &QRadioButton::toggled, this, &ProgramSettingsDialog::UpdateKeepBoxes);
  }
  connect(line_folding_, &QCheckBox::toggled, line_width_, &QLineEdit::setEnabled);
  connect(reset, &QPushButton::clicked, this, &ProgramSettingsDialog::Reset);
  connect(page_setup, &QPushButton::clicked, this, &ProgramSettingsDialog::OpenPageSetup);
}

// Selects the entry with this text; an editable list takes a text it does not hold.
void ProgramSettingsDialog::SelectText(QComboBox* combo, const QString& text) {
  const int index = combo->findText(text);
  if (index >= 0) {
    combo->setCurrentIndex(index);
  } else if (combo->isEditable()) {
    combo->setCurrentText(text);
  }
}

void ProgramSettingsDialog::UpdateKeepBoxes() {
  const bool custom = custom_->isChecked();
  for (QCheckBox* box : {keep_hyperlinks_, keep_face_, keep_size_, keep_color_, keep_alignment_,
                         keep_background_}) {
    box->setEnabled(custom);
  }
}

void ProgramSettingsDialog::Collect() {
  SetField(record_.font_face, ToStd(font_face_->currentText()));
  SetField(record_.font_size, ToStd(font_size_->currentText()));
  SetField(record_.page_alignment, ToStd(alignment_->currentText()));
  SetField(record_.rtf_language, ToStd(language_->currentText()));
  record_.table_border = border_->currentIndex() < 0 ? 0 : border_->currentIndex();
  ConversionType type = ConversionType::kStandard;
  if (precise_->isChecked()) type = ConversionType::kPrecise;
  if (custom_->isChecked()) type = ConversionType::kCustom;
  ApplyConversionType(record_, type,
                      {keep_hyperlinks_->isChecked(), keep_face_->isChecked(),
                       keep_size_->isChecked(), keep_color_->isChecked(),
                       keep_alignment_->isChecked(), keep_background_->isChecked()});
  record_.line_folding = line_folding_->isChecked() ? 1 : 0;
  // The width is the first line of its edit, at most 9 characters.
  const QString width = line_width_->text().section('\n', 0, 0).left(9);
  SetField(record_.max_line_width, ToStd(width));
}

void ProgramSettingsDialog::accept() {
  Collect();
  (void)WriteOptionsFile(record_);
  QDialog::accept();
}

void ProgramSettingsDialog::Reset() {
  custom_->setChecked(true);
  keep_hyperlinks_->setChecked(false);
  for (QCheckBox* box : {keep_face_, keep_size_, keep_color_, keep_alignment_, keep_background_}) {
    box->setChecked(true);
  }
  line_folding_->setChecked(false);
  line_width_->setText("80");
  line_width_->setEnabled(false);
  const ConversionOptions defaults = DialogDefaultOptions();
  SelectText(font_face_, ToQString(FieldText(defaults.font_face)));
  SelectText(font_size_, ToQString(FieldText(defaults.font_size)));
  SelectText(alignment_, ToQString(FieldText(defaults.page_alignment)));
  SelectText(language_, "English");
  border_->setCurrentIndex(0);
  Collect();
  record_.orientation = 0;
  record_.paper_width = defaults.paper_width;
  record_.paper_height = defaults.paper_height;
  record_.margin_left = defaults.margin_left;
  record_.margin_right = defaults.margin_right;
  record_.margin_top = defaults.margin_top;
  record_.margin_bottom = defaults.margin_bottom;
  record_.page_numbers = 0;
  (void)WriteOptionsFile(record_);
}

void ProgramSettingsDialog::OpenPageSetup() {
  PageSetupDialog dialog(this);
  if (dialog.exec() == QDialog::Accepted) record_ = dialog.options();
}

// ---- Table and image options ----

TableOptionsDialog::TableOptionsDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Table conversion options");
  setObjectName("tableOptionsDialog");
  width_ = Named(new QCheckBox("Preserve width of columns", this), "preserveWidthCheck");
  nested_ = Named(new QCheckBox("Preserve nested tables", this), "preserveNestedCheck");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(width_);
  layout->addWidget(nested_);
  layout->addWidget(OkCancel(this));
  const ConversionOptions record = LoadDialogOptions();
  width_->setChecked(record.keep_table_width != 0);
  nested_->setChecked(record.keep_nested_tables != 0);
}

bool TableOptionsDialog::keepTableWidth() const { return width_->isChecked(); }
bool TableOptionsDialog::keepNestedTables() const { return nested_->isChecked(); }

ImageOptionsDialog::ImageOptionsDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Image conversion options");
  setObjectName("imageOptionsDialog");
  png_jpg_ = Named(new QRadioButton("Store images in PNG and JPG formats", this), "pngJpgRadio");
  wmf_ = Named(new QRadioButton("Store images in WMF format (for WordPad)", this), "wmfRadio");
  download_ = Named(new QCheckBox("Download 'http://...' images from Internet", this),
                    "downloadCheck");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(png_jpg_);
  layout->addWidget(wmf_);
  layout->addWidget(download_);
  layout->addWidget(OkCancel(this));
  const ConversionOptions record = LoadDialogOptions();
  png_jpg_->setChecked(record.image_format == 0);
  wmf_->setChecked(record.image_format == 1);
  download_->setChecked(record.download_images == 1);
}

int ImageOptionsDialog::imageFormat() const { return png_jpg_->isChecked() ? 0 : 1; }
bool ImageOptionsDialog::downloadImages() const { return download_->isChecked(); }

// ---- Warning ----

WarningDialog::WarningDialog(const QString& file_name, const QString& suggestion,
                             QWidget* parent)
    : QDialog(parent) {
  setWindowTitle("Warning");
  setObjectName("warningDialog");
  auto* text = Named(new QLabel(file_name + "\n already exists!", this), "warningText");
  rename_ = Named(new QLineEdit(suggestion, this), "renameEdit");
  rename_->setMaxLength(259);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  auto* rename_row = new QHBoxLayout;
  rename_row->addWidget(new QLabel("Rename to:", this));
  rename_row->addWidget(rename_);
  layout->addLayout(rename_row);
  auto* buttons = new QGridLayout;
  const struct {
    const char* caption;
    const char* name;
    OverwriteChoice choice;
  } kButtons[] = {
      {"Overwrite", "overwriteButton", OverwriteChoice::kOverwrite},
      {"Overwrite All", "overwriteAllButton", OverwriteChoice::kOverwriteAll},
      {"Rename", "renameButton", OverwriteChoice::kRename},
      {"Skip", "skipButton", OverwriteChoice::kSkip},
      {"Skip All", "skipAllButton", OverwriteChoice::kSkipAll},
      {"Stop conversion", "stopButton", OverwriteChoice::kStop},
      {"Cancel", "cancelButton", OverwriteChoice::kSkip},
  };
  int index = 0;
  for (const auto& b : kButtons) {
    auto* button = Named(new QPushButton(b.caption, this), b.name);
    button->setAutoDefault(false);
    const OverwriteChoice choice = b.choice;
    connect(button, &QPushButton::clicked, this, [this, choice] { Choose(choice); });
    buttons->addWidget(button, index / 3, index % 3);
    ++index;
  }
  layout->addLayout(buttons);
}

QString WarningDialog::renameTo() const { return rename_->text(); }

void WarningDialog::Choose(OverwriteChoice choice) {
  choice_ = choice;
  QDialog::accept();
}

// Closing the dialog is "Cancel": the file is skipped.
void WarningDialog::reject() {
  choice_ = OverwriteChoice::kSkip;
  QDialog::reject();
}

}  // namespace velmorane
