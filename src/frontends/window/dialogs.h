// The settings dialogs ("Program settings", "Page Setup", "Table conversion options",
// "Image conversion options") and the Warning dialog of a folder-tree run. Each settings
// dialog loads the options file when it opens, or its defaults when the file is missing.
#ifndef VELMORANE_FRONTENDS_WINDOW_DIALOGS_H_
#define VELMORANE_FRONTENDS_WINDOW_DIALOGS_H_

#include <QDialog>
#include <QString>
#include <string>

#include "base/options.h"
#include "frontends/batch/batch.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace velmorane {

// The record a dialog starts from: the options file, or the dialog defaults.
ConversionOptions LoadDialogOptions();

// An edit that shows twips in the dialog's unit. The shown text is rounded and cut, so
// the exact value behind it is kept: a field the user did not touch stores that value.
struct TwipsEdit {
  QLineEdit* edit = nullptr;
  int twips = 0;
  QString shown;

  void Show(int value, bool millimetres);
  int Read(bool millimetres) const;
};

class PageSetupDialog : public QDialog {
  Q_OBJECT

 public:
  explicit PageSetupDialog(QWidget* parent = nullptr);
  // The record as stored by OK (also written to the options file).
  const ConversionOptions& options() const { return record_; }

 public slots:
  void accept() override;

 private:
  bool Millimetres() const;
  void ShowPaper(int width, int height);
  void OnPaperChosen(int index);
  void OnUnitChanged();
  void OnOrientationChanged();

  ConversionOptions record_;
  QComboBox* paper_;
  TwipsEdit width_;
  TwipsEdit height_;
  TwipsEdit top_;
  TwipsEdit bottom_;
  TwipsEdit left_;
  TwipsEdit right_;
  QRadioButton* portrait_;
  QRadioButton* landscape_;
  QRadioButton* millimetres_;
  QRadioButton* inches_;
  QCheckBox* page_numbers_;
  bool shown_millimetres_ = false;
  bool shown_landscape_ = false;
  bool loading_ = true;
};

class ProgramSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ProgramSettingsDialog(QWidget* parent = nullptr);
  // The whole record as stored by OK.
  const ConversionOptions& options() const { return record_; }

 public slots:
  void accept() override;
  void Reset();

 private:
  void Collect();
  void UpdateKeepBoxes();
  void SelectText(QComboBox* combo, const QString& text);
  void OpenPageSetup();

  ConversionOptions record_;
  QComboBox* font_face_;
  QComboBox* font_size_;
  QComboBox* alignment_;
  QComboBox* language_;
  QComboBox* border_;
  QRadioButton* standard_;
  QRadioButton* precise_;
  QRadioButton* custom_;
  QCheckBox* keep_hyperlinks_;
  QCheckBox* keep_face_;
  QCheckBox* keep_size_;
  QCheckBox* keep_color_;
  QCheckBox* keep_alignment_;
  QCheckBox* keep_background_;
  QCheckBox* line_folding_;
  QLineEdit* line_width_;
};

class TableOptionsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TableOptionsDialog(QWidget* parent = nullptr);
  bool keepTableWidth() const;
  bool keepNestedTables() const;

 private:
  QCheckBox* width_;
  QCheckBox* nested_;
};

class ImageOptionsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ImageOptionsDialog(QWidget* parent = nullptr);
  int imageFormat() const;  // 0 PNG and JPEG, 1 WMF
  bool downloadImages() const;

 private:
  QRadioButton* png_jpg_;
  QRadioButton* wmf_;
  QCheckBox* download_;
};

// Asked when an output file of a folder-tree run exists.
class WarningDialog : public QDialog {
  Q_OBJECT

 public:
  WarningDialog(const QString& file_name, const QString& suggestion, QWidget* parent = nullptr);
  OverwriteChoice choice() const { return choice_; }
  QString renameTo() const;

 public slots:
  void reject() override;

 private:
  void Choose(OverwriteChoice choice);

  QLineEdit* rename_;
  OverwriteChoice choice_ = OverwriteChoice::kSkip;
};

}  // namespace velmorane

#endif  // VELMORANE_FRONTENDS_WINDOW_DIALOGS_H_
