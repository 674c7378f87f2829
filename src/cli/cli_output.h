// Command-line reporting: log file, status lines on stderr, a progress bar on a TTY.
#pragma once

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
};

}  // namespace vostrel
