// Spreading an export loop over threads: batches of rows are formatted on
// helper threads and handed back in their original order, so the output is
// the same byte for byte as a single thread's.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "model/text_buffer.h"
#include "scan/recovery_output.h"
#include "sql/row_sink.h"

namespace vostrel {

// How the export loops split their work. Tests shrink the batches so that
// small tables cross many batch edges, and set the thread count.
struct ExportTuning {
  int workers = -1;                 // formatting threads; -1: one per core when there are several
  size_t batch_bytes = 256 << 10;   // source bytes per batch
  uint64_t threads_from = 4 << 20;  // smaller data files are not worth starting threads for
  uint64_t commit_rows = 10000;     // rows per transaction of a script
};
ExportTuning& GetExportTuning();
// Formatting threads for a data file of `source_bytes`.
unsigned ExportWorkerCount(uint64_t source_bytes = UINT64_MAX);

// Finished statements of consecutive rows, back to back.
struct RowChunk {
  TextBuffer text;
  std::vector<size_t> ends;  // where each statement ends in `text`

  void EndRow() { ends.push_back(text.size()); }
  void Clear() {
    text.Clear();
    ends.clear();
  }
};

// Batches run through `work` on helper threads (or at Submit when there are
// none) and come back through `consume` on the calling thread, in the order
// they were submitted. At most 2 * workers + 1 batches exist, so memory stays
// bounded however long the table is.
template <class Batch>
class OrderedBatches {
 public:
  // `worker` tells work() which thread runs it (0 when run at Submit), so
  // each can keep its own decoder.
  using Work = std::function<void(Batch&, unsigned worker)>;
  using Consume = std::function<void(Batch&)>;

  OrderedBatches(unsigned workers, Work work, Consume consume)
      : work_(std::move(work)), consume_(std::move(consume)), slots_(2 * workers + 1) {
    // Threads that cannot be made (no memory, a process limit) leave the
    // work to fewer of them, or to Submit itself.
    try {
      threads_.reserve(workers);
      for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this, i] { Run(i); });
    } catch (const std::exception&) {
    }
  }
  ~OrderedBatches() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    work_ready_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  OrderedBatches(const OrderedBatches&) = delete;
  OrderedBatches& operator=(const OrderedBatches&) = delete;

  // The batch to fill next; the oldest one is consumed first when all are busy.
  Batch& Next() {
    if (in_flight_ == slots_.size()) ConsumeOldest(true);
    return slots_[(head_ + in_flight_) % slots_.size()].batch;
  }

  // Hands over the batch Next() returned, then consumes whatever is finished.
  void Submit() {
    Slot& s = slots_[(head_ + in_flight_) % slots_.size()];
    ++in_flight_;
    if (threads_.empty()) {
      s.done = true;
      work_(s.batch, 0);
    } else {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        s.done = false;
        queue_.push_back(&s);
      }
      work_ready_.notify_one();
    }
    while (in_flight_ > 0 && ConsumeOldest(false)) {
    }
  }

  // Waits for and consumes every batch handed over.
  void Finish() {
    while (in_flight_ > 0) ConsumeOldest(true);
  }

 private:
  struct Slot {
    Batch batch;
    bool done = true;
    std::exception_ptr error;
  };

  bool ConsumeOldest(bool wait) {
    Slot& s = slots_[head_];
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!s.done) {
        if (!wait) return false;
        work_done_.wait(lock, [&s] { return s.done; });
      }
    }
    head_ = (head_ + 1) % slots_.size();
    --in_flight_;
    if (s.error) {
      std::exception_ptr e = s.error;
      s.error = nullptr;
      std::rethrow_exception(e);
    }
    consume_(s.batch);
    return true;
  }

  void Run(unsigned worker) {
    for (;;) {
      Slot* s;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        work_ready_.wait(lock, [this] { return quit_ || !queue_.empty(); });
        if (quit_) return;
        s = queue_.front();
        queue_.pop_front();
      }
      std::exception_ptr error;
      try {
        work_(s->batch, worker);
      } catch (...) {
        error = std::current_exception();
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        s->error = error;
        s->done = true;
      }
      work_done_.notify_one();
    }
  }

  Work work_;
  Consume consume_;
  std::vector<Slot> slots_;
  size_t head_ = 0;       // oldest batch handed over and not yet consumed
  size_t in_flight_ = 0;  // batches handed over and not yet consumed
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable work_done_;
  std::deque<Slot*> queue_;
  bool quit_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace vostrel
