#include "sql/job_output.h"

namespace vostrel {

void SharedProgress::Set(size_t slot, uint64_t done, uint64_t total) {
  std::lock_guard<std::mutex> lock(mutex_);
  done_sum_ += done - done_[slot];
  total_sum_ += total - total_[slot];
  done_[slot] = done;
  total_[slot] = total;
  out_.SetProgress(done_sum_, total_sum_);
}

void SharedProgress::Rows(size_t slot, uint64_t rows) {
  std::lock_guard<std::mutex> lock(mutex_);
  rows_sum_ += rows - rows_[slot];
  rows_[slot] = rows;
  out_.SetRows(rows_sum_);
}

void JobOutput::ReplayTo(RecoveryOutput& out) const {
  for (const Call& c : kept_) {
    switch (c.kind) {
      case Kind::kLog:
        out.WriteLogText(c.text);
        break;
      case Kind::kLine:
        out.AddOutputLine(c.text);
        break;
      case Kind::kMessage:
        out.ShowMessage(c.text);
        break;
      case Kind::kProblem:
        out.ReportProblem(c.text);
        break;
    }
  }
}

}  // namespace vostrel
