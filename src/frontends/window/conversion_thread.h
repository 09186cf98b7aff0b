// One Convert command of the window, run on a thread of its own so the window keeps
// answering. Progress, the current file, the counters and each file's result come back
// as queued signals; the questions and messages of the run are put to the window's
// thread while the run waits for the answer, one at a time and in file order.
#ifndef VELMORANE_FRONTENDS_WINDOW_CONVERSION_THREAD_H_
#define VELMORANE_FRONTENDS_WINDOW_CONVERSION_THREAD_H_

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "frontends/batch/batch.h"

namespace velmorane {

class ConversionThread : public QObject {
  Q_OBJECT

 public:
  // How the window answers; called on the window's thread.
  struct Answers {
    std::function<void(const QString& title, const QString& text)> show_message;
    std::function<bool(const QString& title, const QString& text)> ask_yes_no;
    std::function<OverwriteChoice(const QString& file_name, QString& rename_to)> ask_overwrite;
  };

  // What the run and the questions it puts to the window share.
  struct Channel;

  explicit ConversionThread(Answers answers, QObject* parent = nullptr);
  // Stops a run still going: the question it may wait on is answered "stop", the file in
  // progress is finished, and the thread is joined.
  ~ConversionThread() override;

  // Begins a run with `converter`; false while one is still going.
  bool Start(BatchRequest request, std::unique_ptr<FileConverter> converter);
  // Asks the run to stop after the files in progress ("Stop conversion").
  void Cancel();
  bool running() const { return running_; }
  bool cancelled() const { return cancel_.load(); }

 signals:
  void currentFile(const QString& path);
  void totalRange(qint64 maximum);
  void totalPosition(qint64 position);
  void totalPercent(const QString& text);
  void totalText(const QString& text);
  void fileRange(int low, int high);
  void filePosition(int position);
  void filePercent(const QString& text);
  // A conversion has ended: its input, its output file and its result code.
  void fileConverted(const QString& input, const QString& output, int result);
  // A picture of `input` was left out; `text` names it and says why.
  void fileWarning(const QString& input, const QString& text);
  void finished(qint64 converted, qint64 total);

 private:
  class Host;
  void Join();

  Answers answers_;
  std::shared_ptr<Channel> channel_;
  std::atomic<bool> cancel_{false};
  bool running_ = false;
  std::thread thread_;
};

}  // namespace velmorane

#endif  // VELMORANE_FRONTENDS_WINDOW_CONVERSION_THREAD_H_
