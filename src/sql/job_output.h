// Tables saved at once, each on its own thread: what each writes is kept
// and written out in the tables' order, so that the log reads the same
// whatever the timing; progress of all of them goes to one shared line.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "scan/recovery_output.h"

namespace vostrel {

// The sums of every running table's progress and rows, for one line.
class SharedProgress {
 public:
  SharedProgress(RecoveryOutput& out, size_t slots)
      : out_(out), done_(slots), total_(slots), rows_(slots) {}
  void Set(size_t slot, uint64_t done, uint64_t total);
  void Rows(size_t slot, uint64_t rows);
  // The real output, used by one thread at a time.
  std::mutex& mutex() { return mutex_; }

 private:
  RecoveryOutput& out_;
  std::mutex mutex_;
  std::vector<uint64_t> done_, total_, rows_;
  uint64_t done_sum_ = 0, total_sum_ = 0, rows_sum_ = 0;
};

class JobOutput : public RecoveryOutput {
 public:
  JobOutput(SharedProgress& progress, size_t slot) : progress_(progress), slot_(slot) {}
  void WriteLogText(std::string_view text) override { Keep(Kind::kLog, text); }
  void AddOutputLine(std::string_view text) override { Keep(Kind::kLine, text); }
  void SetCaptionText(std::string_view) override {}
  void SetProgress(uint64_t done, uint64_t total) override { progress_.Set(slot_, done, total); }
  void SetRows(uint64_t rows) override { progress_.Rows(slot_, rows); }
  void ShowProgress(bool) override {}
  void ShowMessage(std::string_view text) override { Keep(Kind::kMessage, text); }
  void ReportProblem(std::string_view text) override { Keep(Kind::kProblem, text); }
  // Writes what was kept to `out`, in the order it came.
  void ReplayTo(RecoveryOutput& out) const;

 private:
  enum class Kind { kLog, kLine, kMessage, kProblem };
  void Keep(Kind kind, std::string_view text) { kept_.push_back({kind, std::string(text)}); }

  SharedProgress& progress_;
  const size_t slot_;
  struct Call {
    Kind kind;
    std::string text;
  };
  std::vector<Call> kept_;
};

}  // namespace vostrel
