// The window during a run: it keeps answering while a large page or a large tree
// converts, Cancel stops a tree after the files in progress, dropped paths and Enter
// start what they should, nothing of an earlier run stays on show, and nothing is
// written into the current folder.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QToolButton>
#include <QUrl>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "frontends/settings/settings_files.h"
#include "frontends/window/conversion_thread.h"
#include "platform/files.h"
#include "support/test_support.h"
#include "window_test_support.h"

namespace velmorane {
namespace {

namespace fs = std::filesystem;

// Every test starts without settings, in an empty current directory that must stay
// empty; inputs and outputs live in a folder of their own.
class WindowRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    here_ = testing::MakeTempFolder();
    work_ = testing::MakeTempFolder();
    ::setenv("XDG_CONFIG_HOME", (work_ + "config").c_str(), 1);
    fs::current_path(here_);
  }
  void TearDown() override {
    EXPECT_TRUE(fs::is_empty(here_)) << "a file was written into the current folder";
    fs::current_path(previous_);
  }

  void Write(const std::string& path, std::string_view bytes) {
    fs::create_directories(fs::path(path).parent_path());
    ASSERT_TRUE(WriteBinaryFile(path, bytes));
  }

  static void SetPaths(MainWindow& window, const std::string& input, const std::string& output) {
    Find<QLineEdit>(window, "inputPathEdit")->setText(QString::fromStdString(input));
    Find<QLineEdit>(window, "outputPathEdit")->setText(QString::fromStdString(output));
  }

  std::string here_;
  std::string work_;

 private:
  fs::path previous_;
};

// A page of about `bytes` bytes: styled paragraphs, entities, links and small tables.
std::string Page(std::size_t bytes) {
  const std::string chunk =
      "<p style=\"color:#336699\">Paragraph with <b>bold</b>, <i>italic</i> and a "
      "<a href=\"#top\">link</a> &amp; an entity &eacute;.</p>\n"
      "<table border=1><tr><td>one</td><td>two</td></tr><tr><td colspan=2>three</td></tr>"
      "</table>\n<ul><li>first<li>second</ul>\n";
  std::string html = "<html><body>\n";
  html.reserve(bytes + chunk.size() + 32);
  while (html.size() < bytes) html += chunk;
  return html + "</body></html>\n";
}

// The files below `folder`, by their paths from it (a tree run mirrors the tree).
std::set<std::string> FilesIn(const std::string& folder) {
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
    if (entry.is_regular_file()) names.insert(entry.path().lexically_relative(folder).string());
  }
  return names;
}

// Notes how long the window's event loop went without running a 10 ms timer.
class GapMeter {
 public:
  GapMeter() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.elapsed();
      max_gap = std::max(max_gap, now - last_);
      last_ = now;
      ++fires;
    });
    clock_.start();
    timer_.start();
  }
  qint64 Elapsed() const { return clock_.elapsed(); }
  void Stop() {
    timer_.stop();
    max_gap = std::max(max_gap, clock_.elapsed() - last_);
  }
  qint64 max_gap = 0;
  int fires = 0;

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0;
};

TEST_F(WindowRunTest, EventLoopAnswersDuringLongRuns) {
  const std::string big = work_ + "big/page.html";
  Write(big, Page(20u << 20));
  for (int i = 0; i < 500; ++i) {
    Write(work_ + "tree/d" + std::to_string(i / 50) + "/p" + std::to_string(i) + ".htm",
          Page(6000 + 40 * i));
  }
  const struct {
    const char* name;
    std::string input;
    bool tree;
    std::size_t outputs;
  } cases[] = {
      {"20 MB page", big, false, 1},
      {"500-page tree", work_ + "tree", true, 500},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = work_ + "out-" + std::to_string(c.outputs) + "/";
    fs::create_directories(out);
    MainWindow window;
    SetPaths(window, c.input, out);
    if (c.tree) {
      Find<QCheckBox>(window, "convertAllCheck")->click();
      Find<QCheckBox>(window, "subfoldersCheck")->click();
    }
    MessageBoxCloser closer;
    GapMeter meter;
    window.Convert();
    EXPECT_TRUE(window.converting()) << "Convert returned only after the run";
    WaitForRun(window);
    meter.Stop();
    EXPECT_EQ(FilesIn(out).size(), c.outputs);
    ASSERT_FALSE(closer.texts.empty());
    EXPECT_NE(closer.texts.back().find("converted successfully"), std::string::npos);
    // On a loaded machine a timer may be late now and then; on average it must keep
    // coming, and no gap may come near the length of the run.
    std::printf("[ measured ] %s: run %lld ms, timer fired %d times, longest gap %lld ms\n",
                c.name, static_cast<long long>(meter.Elapsed()), meter.fires,
                static_cast<long long>(meter.max_gap));
    ::testing::Test::RecordProperty(std::string(c.tree ? "tree" : "page") + "_max_gap_ms",
                                    static_cast<int>(meter.max_gap));
    EXPECT_GE(meter.fires, static_cast<int>(meter.Elapsed() / 100));
    EXPECT_LT(meter.max_gap, 1000);
  }
}

TEST_F(WindowRunTest, CancelStopsATreeAfterTheFilesInProgress) {
  const std::string page = Page(150000);
  constexpr int kPages = 200;
  for (int i = 0; i < kPages; ++i) {
    Write(work_ + "site/d" + std::to_string(i / 20) + "/p" + std::to_string(i) + ".htm", page);
  }
  // Closing the window during a run stops it the same way, and the window closes when
  // the files in progress are done.
  for (const bool by_closing : {false, true}) {
    SCOPED_TRACE(by_closing ? "closing the window" : "Cancel button");
    const std::string out = work_ + (by_closing ? "out-closed/" : "out/");
    fs::create_directories(out);
    MainWindow window;
    window.show();
    SetPaths(window, work_ + "site", out);
    Find<QCheckBox>(window, "convertAllCheck")->click();
    Find<QCheckBox>(window, "subfoldersCheck")->click();
    auto* run = window.findChild<ConversionThread*>();
    ASSERT_NE(run, nullptr);
    std::set<std::string> before_cancel;
    bool cancelled = false;
    QObject::connect(run, &ConversionThread::fileConverted, &window, [&] {
      if (cancelled) return;
      cancelled = true;
      before_cancel = FilesIn(out);
      if (by_closing) {
        window.close();
        EXPECT_TRUE(window.isVisible()) << "closed before the files in progress were done";
      } else {
        Find<QPushButton>(window, "cancelRunButton")->click();
      }
    });
    MessageBoxCloser closer;
    window.Convert();
    EXPECT_TRUE(Find<QPushButton>(window, "cancelRunButton")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>(window, "convertButton")->isEnabled());
    WaitForRun(window);
    ASSERT_TRUE(cancelled);
    const std::set<std::string> after = FilesIn(out);
    std::size_t begun_later = 0;
    for (const std::string& name : after) begun_later += before_cancel.count(name) == 0;
    std::printf("[ measured ] outputs at Cancel %zu, at the end %zu of %d, %d workers\n",
                before_cancel.size(), after.size(), kPages, DefaultJobs());
    // The files in progress (one per worker) are finished; one more may have been taken
    // by a worker between the look at the folder and the press of the button.
    EXPECT_LE(begun_later, static_cast<std::size_t>(DefaultJobs()) + 1);
    EXPECT_LT(after.size(), static_cast<std::size_t>(kPages));
    // Every output is whole: the pages are alike, so the outputs are too, and no
    // temporary file is left behind.
    std::string first;
    ASSERT_TRUE(ReadBinaryFile(out + *after.begin(), first));
    for (const std::string& name : after) {
      SCOPED_TRACE(name);
      EXPECT_TRUE(name.ends_with(".rtf"));
      std::string bytes;
      ASSERT_TRUE(ReadBinaryFile(out + name, bytes));
      EXPECT_EQ(bytes.size(), first.size());
    }
    EXPECT_TRUE(window.logText().contains("Conversion stopped"));
    EXPECT_EQ(window.isVisible(), !by_closing);
    if (!by_closing) {
      EXPECT_TRUE(Find<QPushButton>(window, "convertButton")->isEnabled());
      EXPECT_FALSE(Find<QPushButton>(window, "cancelRunButton")->isEnabled());
    }
  }
}

// A window destroyed while its run waits for an answer does not wait for that answer:
// the run takes "Stop conversion" and ends, and the window goes.
TEST_F(WindowRunTest, DestroyedWhileAQuestionWaits) {
  for (int i = 0; i < 20; ++i) Write(work_ + "site/p" + std::to_string(i) + ".htm", "<p>x");
  Write(work_ + "out/p3.rtf", "kept");
  auto window = std::make_unique<MainWindow>();
  SetPaths(*window, work_ + "site", work_ + "out");
  Find<QCheckBox>(*window, "convertAllCheck")->click();
  Find<QCheckBox>(*window, "subfoldersCheck")->click();
  window->Convert();
  // No event is handled, so the Warning dialog never opens.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  window.reset();
  std::string kept;
  ASSERT_TRUE(ReadBinaryFile(work_ + "out/p3.rtf", kept));
  EXPECT_EQ(kept, "kept");
  EXPECT_EQ(FilesIn(work_ + "out").count("p4.rtf"), 0u);  // nothing after the stop
}

TEST_F(WindowRunTest, DroppedPathsFillTheInput) {
  Write(work_ + "site/a.htm", "<p>a");
  const QUrl folder = QUrl::fromLocalFile(QString::fromStdString(work_ + "site"));
  const QUrl file = QUrl::fromLocalFile(QString::fromStdString(work_ + "site/a.htm"));
  const struct {
    const char* name;
    QUrl url;
    const char* on;  // the widget it is dropped on
    bool accepted;
    std::string input;  // the paths after the drop
    std::string output;
    const char* convert_all;
  } cases[] = {
      {"folder", folder, "totalFilesLabel", true, work_ + "site", "out", "checked"},
      {"file", file, "inputPathEdit", true, work_ + "site/a.htm", "out", "unchecked"},
      {"folder on the output field", folder, "outputPathEdit", true, "in", work_ + "site",
       "checked"},
      {"file on the output field", file, "outputPathEdit", true, work_ + "site/a.htm", "out",
       "unchecked"},
      {"remote page", QUrl("https://example.org/page.html"), "inputPathEdit", false, "in", "out",
       "checked"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MainWindow window;
    window.show();
    SetPaths(window, "in", "out");
    Find<QCheckBox>(window, "convertAllCheck")->setChecked(true);
    QWidget* on = Find<QWidget>(window, c.on);
    const QPoint at = on->mapTo(&window, on->rect().center());
    QMimeData mime;
    mime.setUrls({c.url});
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(&window, &enter);
    EXPECT_EQ(enter.isAccepted(), c.accepted);
    if (c.accepted) {
      QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&window, &drop);
    }
    EXPECT_EQ(Find<QLineEdit>(window, "inputPathEdit")->text().toStdString(), c.input);
    EXPECT_EQ(Find<QLineEdit>(window, "outputPathEdit")->text().toStdString(), c.output);
    EXPECT_EQ(Find<QCheckBox>(window, "convertAllCheck")->isChecked(),
              std::string(c.convert_all) == "checked");
    EXPECT_EQ(Find<QCheckBox>(window, "subfoldersCheck")->isEnabled(),
              std::string(c.convert_all) == "checked");
  }
}

TEST_F(WindowRunTest, EnterInAPathFieldConverts) {
  Write(work_ + "page.htm", "<p>Hello");
  for (const char* field : {"inputPathEdit", "outputPathEdit"}) {
    SCOPED_TRACE(field);
    const std::string out = work_ + field + "/";
    fs::create_directories(out);
    MainWindow window;
    SetPaths(window, work_ + "page.htm", out);
    MessageBoxCloser closer;
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(Find<QLineEdit>(window, field), &enter);
    WaitForRun(window);
    EXPECT_TRUE(FileExists(out + "page.rtf"));
  }
}

TEST_F(WindowRunTest, NothingOfTheLastRunStaysOnShow) {
  Write(work_ + "good.htm", "<p>fine");
  Write(work_ + "empty.htm", "");
  fs::create_directories(work_ + "out");
  MainWindow window;
  auto state = [&window] {
    return Find<QLabel>(window, "totalFilesLabel")->text().toStdString() + "|" +
           Find<QLabel>(window, "totalPercentLabel")->text().toStdString() + "|" +
           std::to_string(Find<QProgressBar>(window, "totalProgressBar")->value()) + "|" +
           Find<QLabel>(window, "currentFileLabel")->text().toStdString();
  };
  SetPaths(window, work_ + "good.htm", work_ + "out");
  {
    MessageBoxCloser closer;
    window.Convert();
    WaitForRun(window);
  }
  EXPECT_EQ(state(), "1 of 1 file converted successfully.|0|1|");

  // A failing run: while its error is shown, the last run's count and bar are gone.
  SetPaths(window, work_ + "empty.htm", work_ + "out");
  std::vector<std::string> at_error;
  MessageBoxCloser closer;
  closer.on_box = [&] { at_error.push_back(state()); };
  window.Convert();
  WaitForRun(window);
  ASSERT_EQ(closer.texts.size(), 1u);
  EXPECT_EQ(closer.texts[0], "Error!|" + work_ + "empty.htm file has zero length.");
  ASSERT_EQ(at_error.size(), 1u);
  EXPECT_EQ(at_error[0], "|0|0|" + work_ + "empty.htm");
  EXPECT_EQ(state(), "|0|0|");
}

TEST_F(WindowRunTest, LogListsEveryFile) {
  Write(work_ + "site/a.htm", "<p>a");
  Write(work_ + "site/b.htm", "");
  Write(work_ + "site/c.htm", "<p>c<img src=\"missing.png\">");
  fs::create_directories(work_ + "out");
  MainWindow window;
  Find<QCheckBox>(window, "convertImagesCheck")->setChecked(true);
  EXPECT_TRUE(Find<QPlainTextEdit>(window, "logView")->isHidden());
  Find<QToolButton>(window, "logToggle")->click();
  EXPECT_FALSE(Find<QPlainTextEdit>(window, "logView")->isHidden());
  SetPaths(window, work_ + "site", work_ + "out");
  Find<QCheckBox>(window, "convertAllCheck")->click();
  MessageBoxCloser closer;
  window.Convert();
  WaitForRun(window);
  const QStringList lines = window.logText().split('\n');
  ASSERT_EQ(lines.size(), 6) << window.logText().toStdString();
  EXPECT_TRUE(lines[0].startsWith("Begin converting in: "));
  const std::string site = work_ + "site/", out = work_ + "out/";
  EXPECT_EQ(lines[1].toStdString(), site + "a.htm -> " + out + "a.rtf: Converted successfully!");
  EXPECT_EQ(lines[2].toStdString(), site + "b.htm: Error! HTML file is empty");
  // The picture the page names is missing: the page converts without it, and says so.
  EXPECT_EQ(lines[3].toStdString(), site + "c.htm: Warning! picture skipped, not found: " + site + "missing.png");
  EXPECT_EQ(lines[4].toStdString(), site + "c.htm -> " + out + "c.rtf: Converted successfully!");
  EXPECT_TRUE(lines[5].startsWith("2 of 3 files converted. End of converting in: "));
}

TEST_F(WindowRunTest, SettingsAndSizeLiveInTheSettingsFolder) {
  Write(work_ + "page.htm", "<p>x");
  {
    MainWindow window;
    window.show();
    SetPaths(window, work_ + "page.htm", work_ + "out");
    Find<QCheckBox>(window, "convertImagesCheck")->click();
    MessageBoxCloser closer;
    window.SaveConfiguration();
    window.Convert();
    WaitForRun(window);
    window.resize(820, 630);
    window.close();
  }
  const std::string settings = MainWindow::SettingsFolder();
  EXPECT_EQ(settings, work_ + "config/velmorane/");
  EXPECT_TRUE(FileExists(settings + kPathsFileName));
  EXPECT_TRUE(FileExists(settings + kOptionsFileName));
  MainWindow again;
  EXPECT_EQ(Find<QLineEdit>(again, "inputPathEdit")->text().toStdString(), work_ + "page.htm");
  EXPECT_EQ(Find<QLineEdit>(again, "outputPathEdit")->text().toStdString(), work_ + "out");
  EXPECT_TRUE(Find<QCheckBox>(again, "convertImagesCheck")->isChecked());
  EXPECT_EQ(again.size(), QSize(820, 630));
}

}  // namespace
}  // namespace velmorane

namespace velmorane {
namespace {

// A tree whose folders repeat the same file names lands in a copy of itself with no
// question asked, and each page gives the document the command line gives by default
// (paper, margins, alignment and kept formatting alike).
TEST_F(WindowRunTest, ATreeIsMirroredAndEachPageMatchesTheCommandLine) {
  const std::string page =
      "<html><body><p>Plain paragraph of text.</p><p><font face=Georgia size=5>Styled</font>"
      "</p><p align=center>centred</p><table><tr><td>cell</td></tr></table></body></html>";
  const std::vector<std::string> files = {"api/index.rtf", "docs/deep/index.rtf",
                                          "docs/index.rtf", "index.rtf"};
  for (const std::string& file : files) {
    Write(work_ + "site/" + file.substr(0, file.size() - 4) + ".htm", page);
  }
  const std::string out = work_ + "out/";
  fs::create_directories(out);
  MainWindow window;
  SetPaths(window, work_ + "site", out);
  Find<QCheckBox>(window, "convertAllCheck")->click();
  Find<QCheckBox>(window, "subfoldersCheck")->click();
  MessageBoxCloser closer;
  window.Convert();
  WaitForRun(window);
  EXPECT_EQ(closer.texts, (std::vector<std::string>{
                              "Thank you for using Velmorane Converter Pro!|Conversion "
                              "completed. 4 files converted successfully."}));
  EXPECT_EQ(FilesIn(out), std::set<std::string>(files.begin(), files.end()));

  const std::string cli_out = work_ + "cli/";
  const std::string command = std::string(VELMORANE_BINARY_DIR) + "/velmorane '" + work_ +
                              "site' '" + cli_out + "' -subfolders yes -log none >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    std::string from_window, from_command_line;
    ASSERT_TRUE(ReadBinaryFile(out + file, from_window));
    ASSERT_TRUE(ReadBinaryFile(cli_out + file, from_command_line));
    EXPECT_EQ(from_window, from_command_line);
  }
}

}  // namespace
}  // namespace velmorane
