// Worker threads of a parallel batch run.
#include "frontends/batch/workers.h"

namespace velmorane {

namespace {

// What a conversion on a worker says, kept for the report of its file.
class HeldMessages : public MessageSink {
 public:
  HeldMessages(std::vector<ConversionWorkers::Said>& said, bool wants_stages)
      : said_(said), wants_stages_(wants_stages) {}
  void Message(MessageKind kind, std::string_view text) override {
    said_.push_back({kind, std::string(text)});
  }
  bool WantsStages() const override { return wants_stages_; }

 private:
  std::vector<ConversionWorkers::Said>& said_;
  bool wants_stages_;
};

}  // namespace

ConversionWorkers::ConversionWorkers(const FileConverter& prototype, int jobs,
                                     const std::atomic<bool>* cancel, bool wants_stages)
    : cancel_(cancel), wants_stages_(wants_stages) {
  for (int i = 0; i < jobs; ++i) {
    std::unique_ptr<FileConverter> clone = prototype.Clone();
    if (clone == nullptr) return;
    converters_.push_back(std::move(clone));
  }
  for (auto& converter : converters_) {
    FileConverter* own = converter.get();
    threads_.emplace_back([this, own] { Work(*own); });
  }
}

ConversionWorkers::~ConversionWorkers() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  work_ready_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

std::size_t ConversionWorkers::Submit(const std::string& input, const std::string& target,
                                      bool keep_existing) {
  std::size_t ticket;
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ticket = next_ticket_++;
    queue_.push_back({ticket, input, target, keep_existing});
    // A wake-up costs a system call and a switch: only an idle worker needs one.
    wake = idle_workers_ > 0;
  }
  if (wake) work_ready_.notify_one();
  return ticket;
}

void ConversionWorkers::DropQueued() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (Task& task : queue_) {
    Outcome outcome;
    outcome.target = std::move(task.target);
    outcome.dropped = true;
    done_[task.ticket] = std::move(outcome);
  }
  queue_.clear();
}

bool ConversionWorkers::Done(std::size_t ticket) {
  std::lock_guard<std::mutex> lock(mutex_);
  return done_.count(ticket) != 0;
}

ConversionWorkers::Outcome ConversionWorkers::Take(std::size_t ticket) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (done_.count(ticket) == 0) {
    taker_waiting_ = true;
    awaited_ticket_ = ticket;
    work_done_.wait(lock, [&] { return done_.count(ticket) != 0; });
    taker_waiting_ = false;
  }
  Outcome outcome = std::move(done_[ticket]);
  done_.erase(ticket);
  return outcome;
}

void ConversionWorkers::Work(FileConverter& converter) {
  while (true) {
    Task task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ++idle_workers_;
      work_ready_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      --idle_workers_;
      if (stopping_) return;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    Outcome outcome;
    outcome.target = task.target;
    // No progress is reported: the file bar belongs to the calling thread. An exception
    // escaping a conversion counts as lack of memory.
    if (cancel_ != nullptr && cancel_->load(std::memory_order_relaxed)) {
      outcome.dropped = true;
    } else {
      try {
        HeldMessages messages(outcome.said, wants_stages_);
        outcome.result = converter.Convert(task.input, outcome.target, task.keep_existing,
                                           nullptr, &messages);
      } catch (...) {
        outcome.result = ConvertResult::kNoMemory;
      }
    }
    bool wake = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_[task.ticket] = std::move(outcome);
      wake = taker_waiting_ && task.ticket == awaited_ticket_;
    }
    if (wake) work_done_.notify_all();
  }
}

}  // namespace velmorane
