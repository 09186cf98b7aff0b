// The Convert command on its own thread.
#include "frontends/window/conversion_thread.h"

#include <condition_variable>
#include <mutex>
#include <utility>

#include "frontends/window/qt_text.h"

namespace velmorane {

// Shared by the run and the questions it has put to the window's thread; outlives both.
struct ConversionThread::Channel {
  std::mutex mutex;
  std::condition_variable answered;
  bool abandoned = false;  // the window is going away: nobody answers any more
};

namespace {

// Puts `ask` to the thread of `context` and waits for its answer; `fallback` when the
// window goes away before it answers.
template <typename T, typename Ask>
T AskOnWindowThread(QObject* context, const std::shared_ptr<ConversionThread::Channel>& channel,
                    Ask ask, T fallback);

}  // namespace

// The run's host: lives on the run thread and turns every call into a signal or a
// question for the window's thread. It is also the progress sink of the current file.
class ConversionThread::Host : public BatchHost, public ProgressSink {
 public:
  explicit Host(ConversionThread& owner) : owner_(owner) {}

  void ShowMessage(std::string_view title, std::string_view text) override {
    auto show = owner_.answers_.show_message;
    (void)AskOnWindowThread<bool>(
        &owner_, owner_.channel_,
        [show, title = ToQString(title), text = ToQString(text)] {
          if (show) show(title, text);
          return true;
        },
        true);
  }

  bool AskYesNo(std::string_view title, std::string_view text) override {
    if (owner_.cancel_.load()) return false;
    auto ask = owner_.answers_.ask_yes_no;
    return AskOnWindowThread<bool>(
        &owner_, owner_.channel_,
        [ask, title = ToQString(title), text = ToQString(text)] {
          return ask ? ask(title, text) : false;
        },
        false);
  }

  OverwriteChoice AskOverwrite(std::string_view file_name, std::string& rename_to) override {
    if (owner_.cancel_.load()) return OverwriteChoice::kStop;
    auto ask = owner_.answers_.ask_overwrite;
    using Answer = std::pair<OverwriteChoice, QString>;
    const Answer answer = AskOnWindowThread<Answer>(
        &owner_, owner_.channel_,
        [ask, name = ToQString(file_name), suggestion = ToQString(rename_to)] {
          QString rename = suggestion;
          const OverwriteChoice choice = ask ? ask(name, rename) : OverwriteChoice::kStop;
          return Answer(choice, rename);
        },
        Answer(OverwriteChoice::kStop, ToQString(rename_to)));
    rename_to = ToStd(answer.second);
    return answer.first;
  }

  void SetCurrentFile(std::string_view path) override {
    emit owner_.currentFile(ToQString(path));
  }
  void SetTotalRange(long long maximum) override { emit owner_.totalRange(maximum); }
  void SetTotalPosition(long long position) override { emit owner_.totalPosition(position); }
  void SetTotalPercent(std::string_view text) override {
    emit owner_.totalPercent(ToQString(text));
  }
  void SetTotalText(std::string_view text) override { emit owner_.totalText(ToQString(text)); }
  ProgressSink* FileProgress() override { return this; }
  // The log lists the pictures a page left out; notes stay out of it.
  void FileMessage(std::string_view input, MessageKind kind, std::string_view text) override {
    if (kind == MessageKind::kWarning) emit owner_.fileWarning(ToQString(input), ToQString(text));
  }
  void FileConverted(std::string_view input, std::string_view output,
                     ConvertResult result) override {
    emit owner_.fileConverted(ToQString(input), ToQString(output), static_cast<int>(result));
  }

  // ProgressSink: only changes are sent, so a busy engine cannot flood the window.
  void SetRange(int low, int high) override {
    if (low == range_low_ && high == range_high_) return;
    range_low_ = low;
    range_high_ = high;
    emit owner_.fileRange(low, high);
  }
  void SetPosition(int position) override {
    if (position == position_) return;
    position_ = position;
    emit owner_.filePosition(position);
  }
  void SetLabel(std::string_view text) override {
    if (text == label_) return;
    label_ = std::string(text);
    emit owner_.filePercent(ToQString(text));
  }

 private:
  ConversionThread& owner_;
  int range_low_ = -1;
  int range_high_ = -1;
  int position_ = -1;
  std::string label_ = "\x01";
};

namespace {

template <typename T, typename Ask>
T AskOnWindowThread(QObject* context, const std::shared_ptr<ConversionThread::Channel>& channel,
                    Ask ask, T fallback) {
  struct Reply {
    bool done = false;
    T value{};
  };
  auto reply = std::make_shared<Reply>();
  {
    std::lock_guard<std::mutex> lock(channel->mutex);
    if (channel->abandoned) return fallback;
  }
  QMetaObject::invokeMethod(
      context,
      [channel, reply, ask = std::move(ask)]() mutable {
        T value = ask();
        {
          std::lock_guard<std::mutex> lock(channel->mutex);
          reply->value = std::move(value);
          reply->done = true;
        }
        channel->answered.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock<std::mutex> lock(channel->mutex);
  channel->answered.wait(lock, [&] { return reply->done || channel->abandoned; });
  return reply->done ? std::move(reply->value) : fallback;
}

}  // namespace

ConversionThread::ConversionThread(Answers answers, QObject* parent)
    : QObject(parent), answers_(std::move(answers)), channel_(std::make_shared<Channel>()) {
  // Connected before anyone else hears `finished`, so the run counts as over for them.
  connect(this, &ConversionThread::finished, this, [this] {
    Join();
    running_ = false;
  });
}

ConversionThread::~ConversionThread() {
  {
    std::lock_guard<std::mutex> lock(channel_->mutex);
    channel_->abandoned = true;
  }
  channel_->answered.notify_all();
  cancel_ = true;
  Join();
}

void ConversionThread::Join() {
  if (thread_.joinable()) thread_.join();
}

bool ConversionThread::Start(BatchRequest request, std::unique_ptr<FileConverter> converter) {
  if (running_) return false;
  Join();
  cancel_ = false;
  running_ = true;
  request.cancel = &cancel_;
  thread_ = std::thread([this, request = std::move(request),
                         converter = std::move(converter)]() mutable {
    BatchCounters counters;
    {
      Host host(*this);
      counters = RunBatch(request, *converter, host);
      converter.reset();
    }
    emit finished(counters.converted, counters.total);
  });
  return true;
}

void ConversionThread::Cancel() { cancel_ = true; }

}  // namespace velmorane
