// Helpers shared by the window tests: finding widgets by name, waiting for a run, and
// answering the message boxes a run opens.
#ifndef VELMORANE_TESTS_FRONTENDS_WINDOW_WINDOW_TEST_SUPPORT_H_
#define VELMORANE_TESTS_FRONTENDS_WINDOW_WINDOW_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "frontends/window/dialogs.h"
#include "frontends/window/main_window.h"

namespace velmorane {

template <typename Widget>
inline Widget* Find(QWidget& parent, const char* name) {
  Widget* widget = parent.findChild<Widget*>(QString::fromLatin1(name));
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

// Runs the event loop until the window's run has ended (at most two minutes).
inline void WaitForRun(MainWindow& window) {
  if (!window.converting()) return;
  QEventLoop loop;
  QObject::connect(&window, &MainWindow::conversionFinished, &loop, &QEventLoop::quit);
  QTimer::singleShot(120000, &loop, &QEventLoop::quit);
  loop.exec();
  EXPECT_FALSE(window.converting()) << "the run did not end";
}

// Answers every message box the window opens with Yes or OK and keeps its text.
class MessageBoxCloser {
 public:
  MessageBoxCloser() {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts.push_back(box->windowTitle().toStdString() + "|" + box->text().toStdString());
        if (on_box) on_box();
        if (QAbstractButton* yes = box->button(QMessageBox::Yes)) {
          yes->click();
        } else {
          box->accept();
        }
      } else if (auto* warning = qobject_cast<WarningDialog*>(QApplication::activeModalWidget())) {
        texts.push_back("Warning|" + warning->renameTo().toStdString());
        warning->findChild<QPushButton*>("renameButton")->click();
      }
    });
    timer_.start();
  }
  std::vector<std::string> texts;
  // Called while a message box is open, before it is answered.
  std::function<void()> on_box;

 private:
  QTimer timer_;
};

}  // namespace velmorane

#endif  // VELMORANE_TESTS_FRONTENDS_WINDOW_WINDOW_TEST_SUPPORT_H_
