// velmorane-gui: with arguments it converts from the command line like velmorane and
// ends; without them it shows the main window.
#include <QApplication>
#include <QIcon>
#include <QStyleFactory>

#include "frontends/cli/command_line.h"
#include "frontends/window/main_window.h"

int main(int argc, char** argv) {
  if (argc > 1) return velmorane::RunCommandLine(argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName("Velmorane Converter Pro");
  QApplication::setDesktopFileName("velmorane-gui");
  // Fusion draws every control alike on every desktop; its colours come from the
  // desktop's palette, so a dark desktop gives a dark window.
  if (QStyle* fusion = QStyleFactory::create("Fusion")) QApplication::setStyle(fusion);
  QIcon icon;
  for (const char* size : {"32", "64", "128", "256"}) {
    icon.addFile(QString(":/icons/velmorane-%1.png").arg(size));
  }
  QApplication::setWindowIcon(icon);
  velmorane::MainWindow window;
  window.show();
  return app.exec();
}
