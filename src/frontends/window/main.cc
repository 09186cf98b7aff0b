// velmorane-gui: with arguments it converts from the command line like velmorane and
// ends; without them it shows the main window.
#include <QApplication>

#include "frontends/cli/command_line.h"
#include "frontends/window/main_window.h"

int main(int argc, char** argv) {
  if (argc > 1) return velmorane::RunCommandLine(argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName("Velmorane Converter Pro");
  velmorane::MainWindow window;
  window.show();
  return app.exec();
}
