// velmorane-screenshots FOLDER: draws the main window, each dialog, the message boxes
// of a run and the log view into PNG files in FOLDER, through Qt's offscreen platform.
// Inputs and settings go to a scratch folder; run it from scripts/screenshot.sh.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QIcon>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QStyleFactory>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "frontends/window/conversion_thread.h"
#include "frontends/window/dialogs.h"
#include "frontends/window/main_window.h"
#include "platform/files.h"

namespace velmorane {
namespace {

QString g_folder;

void Save(QWidget& widget, const char* name) {
  QApplication::processEvents();
  const QString path = g_folder + "/" + name + ".png";
  if (!widget.grab().save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  std::printf("%s\n", qPrintable(path));
}

void Shoot(QDialog& dialog, const char* name) {
  dialog.show();
  dialog.adjustSize();
  Save(dialog, name);
  dialog.close();
}

// Grabs every message box and Warning dialog of a run as it opens, under the next name
// of `names`, then answers it (Yes, OK, or Rename).
class BoxGrabber {
 public:
  explicit BoxGrabber(std::vector<const char*> names) : names_(std::move(names)) {
    timer_.setInterval(30);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr) return;
      if (next_ < names_.size() && names_[next_] != nullptr) Save(*modal, names_[next_]);
      ++next_;
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        if (QAbstractButton* yes = box->button(QMessageBox::Yes)) {
          yes->click();
        } else {
          box->accept();
        }
      } else if (auto* rename = modal->findChild<QPushButton*>("renameButton")) {
        rename->click();
      }
    });
    timer_.start();
  }

 private:
  std::vector<const char*> names_;
  std::size_t next_ = 0;
  QTimer timer_;
};

void Wait(MainWindow& window) {
  if (!window.converting()) return;
  QEventLoop loop;
  QObject::connect(&window, &MainWindow::conversionFinished, &loop, &QEventLoop::quit);
  loop.exec();
}

void SetPaths(MainWindow& window, const std::string& input, const std::string& output) {
  window.findChild<QLineEdit*>("inputPathEdit")->setText(QString::fromStdString(input));
  window.findChild<QLineEdit*>("outputPathEdit")->setText(QString::fromStdString(output));
}

void Check(MainWindow& window, const char* name, bool on) {
  window.findChild<QCheckBox*>(name)->setChecked(on);
}

std::string Page(int number, int paragraphs) {
  std::string html = "<html><body><h1>Page " + std::to_string(number) + "</h1>";
  for (int i = 0; i < paragraphs; ++i) {
    html += "<p>Some <b>bold</b> and <i>italic</i> text, a <a href=\"#x\">link</a>.</p>"
            "<table border=1><tr><td>one</td><td>two</td></tr></table>";
  }
  return html + "</body></html>";
}

void Write(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  (void)WriteBinaryFile(path, bytes);
}

QPalette DarkPalette() {
  // Button and window colours first: the shades of bevels and frames follow from them.
  QPalette dark(QColor(55, 55, 58), QColor(45, 45, 48));
  dark.setColor(QPalette::Window, QColor(45, 45, 48));
  dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
  dark.setColor(QPalette::Base, QColor(30, 30, 32));
  dark.setColor(QPalette::AlternateBase, QColor(45, 45, 48));
  dark.setColor(QPalette::Text, QColor(230, 230, 230));
  dark.setColor(QPalette::Button, QColor(55, 55, 58));
  dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
  dark.setColor(QPalette::Highlight, QColor(47, 128, 237));
  dark.setColor(QPalette::HighlightedText, Qt::white);
  dark.setColor(QPalette::ToolTipBase, QColor(55, 55, 58));
  dark.setColor(QPalette::ToolTipText, QColor(230, 230, 230));
  dark.setColor(QPalette::PlaceholderText, QColor(140, 140, 140));
  dark.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
  dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
  dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
  return dark;
}

int Run(const std::string& work) {
  const std::string site = work + "site/";
  Write(site + "index.htm", Page(0, 3));
  Write(site + "about.htm", Page(1, 3));
  Write(site + "empty.htm", "");
  Write(site + "docs/index.htm", Page(2, 3));
  for (int i = 0; i < 300; ++i) {
    Write(work + "big/part" + std::to_string(i / 50) + "/page" + std::to_string(i) + ".htm",
          Page(i, 400));
  }
  // The log's last lines: a page that fails and one whose picture is missing.
  Write(work + "big/part5/zz-empty.htm", "");
  Write(work + "big/part5/zz-picture.htm", "<p>A picture: <img src=\"logo.png\"></p>");

  MainWindow window;
  window.show();
  SetPaths(window, site + "index.htm", work + "out");
  window.resize(720, window.sizeHint().height());
  Save(window, "main-window");

  {
    ProgramSettingsDialog settings(&window);
    Shoot(settings, "program-settings");
    PageSetupDialog page(&window);
    Shoot(page, "page-setup");
    TableOptionsDialog tables(&window);
    Shoot(tables, "table-options");
    ImageOptionsDialog images(&window);
    Shoot(images, "image-options");
  }

  // One folder into a folder still to be made: the question, an error, the summary.
  SetPaths(window, site, work + "out");
  Check(window, "convertAllCheck", true);
  {
    BoxGrabber grabber({"create-folder", "error", "completed"});
    window.Convert();
    Wait(window);
  }
  // The tree: index.htm of docs meets the index.rtf of the top folder.
  Check(window, "subfoldersCheck", true);
  {
    BoxGrabber grabber({"warning", nullptr});
    window.Convert();
    Wait(window);
  }
  // A large tree, caught while it converts, with the log open.
  window.SetLogVisible(true);
  window.resize(720, window.sizeHint().height() + 40);
  SetPaths(window, work + "big", work + "out-big");
  Check(window, "convertImagesCheck", true);
  std::filesystem::create_directories(work + "out-big");
  {
    auto* run = window.findChild<ConversionThread*>();
    int seen = 0;
    QObject::connect(run, &ConversionThread::fileConverted, &window, [&] {
      if (++seen == 40) Save(window, "converting");
    });
    BoxGrabber grabber({nullptr});
    window.Convert();
    Wait(window);
  }
  Save(window, "log-view");

  // A dark desktop: the window in the palette such a desktop hands over.
  QApplication::setPalette(DarkPalette());
  MainWindow dark;
  dark.show();
  SetPaths(dark, site + "index.htm", work + "out");
  dark.resize(720, dark.sizeHint().height());
  Save(dark, "main-window-dark");
  return 0;
}

}  // namespace
}  // namespace velmorane

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: velmorane-screenshots FOLDER\n");
    return 1;
  }
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  if (QStyle* fusion = QStyleFactory::create("Fusion")) QApplication::setStyle(fusion);
  velmorane::g_folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  QDir().mkpath(velmorane::g_folder);
  // Paths relative to the scratch folder read better in the pictures.
  return velmorane::Run("");
}
