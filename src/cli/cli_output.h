// Command-line reporting: log file, status lines on stderr, and on a TTY
// only, one progress line: the table's share, its rows and the run's, the
// rate of source bytes read and the table's time left.
#pragma once

#include <chrono>
#include <string>

#include "scan/recovery_output.h"
#include "scan/session_log.h"

namespace vostrel {

class CliOutput : public RecoveryOutput {
 public:
  explicit CliOutput(SessionLog& log, bool quiet);
  ~CliOutput() override;

  void WriteLogText(std::string_view text) override;
  void AddOutputLine(std::string_view text) override;
  void SetCaptionText(std::string_view text) override;
  void SetProgress(uint64_t done, uint64_t total) override;
  void SetRows(uint64_t rows) override;
  void ShowProgress(bool visible) override;
  void ShowMessage(std::string_view text) override;
  void ReportProblem(std::string_view text) override;

 private:
  void ClearBar();

  SessionLog& log_;
  bool quiet_;
  bool tty_;
  bool bar_shown_ = false;
  int last_percent_ = -1;
  using Clock = std::chrono::steady_clock;
  Clock::time_point table_start_{};
  Clock::time_point drawn_{};
  uint64_t rows_ = 0;         // of the table being saved
  uint64_t rows_before_ = 0;  // of the tables before it
};

}  // namespace vostrel
