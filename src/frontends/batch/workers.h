// Worker threads for batch runs: conversions are handed out with a ticket and their
// results collected by ticket, so the caller can report them in the order it chose.
#ifndef VELMORANE_FRONTENDS_BATCH_WORKERS_H_
#define VELMORANE_FRONTENDS_BATCH_WORKERS_H_

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frontends/batch/batch.h"

namespace velmorane {

class ConversionWorkers {
 public:
  // One message of a conversion, kept for the report of its file.
  struct Said {
    MessageKind kind;
    std::string text;
  };
  struct Outcome {
    ConvertResult result = ConvertResult::kDone;
    std::string target;  // the output target after the conversion
    bool dropped = false;  // never begun: dropped by DropQueued()
    std::vector<Said> said;  // what the conversion said, in its order
  };

  // Starts `jobs` workers, each with its own clone of `prototype`. When the prototype
  // cannot be cloned no worker starts and started() is false. Once `cancel` is on, a
  // worker drops the conversions it takes instead of beginning them. With
  // `wants_stages` the conversions tell their stages too.
  ConversionWorkers(const FileConverter& prototype, int jobs,
                    const std::atomic<bool>* cancel = nullptr, bool wants_stages = false);
  // Conversions not yet begun are dropped; running ones are waited for.
  ~ConversionWorkers();
  ConversionWorkers(const ConversionWorkers&) = delete;
  ConversionWorkers& operator=(const ConversionWorkers&) = delete;

  bool started() const { return !threads_.empty(); }

  // Queues one conversion; tickets count up from 0.
  std::size_t Submit(const std::string& input, const std::string& target, bool keep_existing);
  // Conversions not yet begun end at once as dropped; running ones go on.
  void DropQueued();
  // True when the conversion of `ticket` has ended and is not yet taken.
  bool Done(std::size_t ticket);
  // Waits for the conversion of `ticket` and hands over its outcome (once).
  Outcome Take(std::size_t ticket);

 private:
  struct Task {
    std::size_t ticket;
    std::string input;
    std::string target;
    bool keep_existing;
  };
  void Work(FileConverter& converter);

  const std::atomic<bool>* cancel_;
  bool wants_stages_;
  std::vector<std::unique_ptr<FileConverter>> converters_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable work_done_;
  std::deque<Task> queue_;
  std::map<std::size_t, Outcome> done_;
  std::size_t next_ticket_ = 0;
  bool stopping_ = false;
  int idle_workers_ = 0;       // workers waiting for a task
  bool taker_waiting_ = false;  // Take() waits for the outcome of awaited_ticket_
  std::size_t awaited_ticket_ = 0;
};

}  // namespace velmorane

#endif  // VELMORANE_FRONTENDS_BATCH_WORKERS_H_
