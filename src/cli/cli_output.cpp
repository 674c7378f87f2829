#include "cli/cli_output.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace vostrel {

CliOutput::CliOutput(SessionLog& log, bool quiet)
    : log_(log), quiet_(quiet), tty_(::isatty(STDERR_FILENO) == 1) {}

CliOutput::~CliOutput() { ClearBar(); }

void CliOutput::ClearBar() {
  if (bar_shown_) {
    std::fputs("\r\033[K", stderr);
    bar_shown_ = false;
    last_percent_ = -1;
  }
}

void CliOutput::WriteLogText(std::string_view text) { log_.WriteLogText(text); }

void CliOutput::AddOutputLine(std::string_view text) {
  if (quiet_) return;
  ClearBar();
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}

void CliOutput::SetCaptionText(std::string_view) {}

void CliOutput::SetProgress(uint64_t done, uint64_t total) {
  if (!tty_ || quiet_ || total == 0) return;
  const int percent = static_cast<int>(done * 100 / total);
  if (percent == last_percent_) return;
  last_percent_ = percent;
  const int width = 40;
  const int filled = percent * width / 100;
  std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
               width - filled, "", percent);
  std::fflush(stderr);
  bar_shown_ = true;
}

void CliOutput::ShowProgress(bool visible) {
  if (!visible) ClearBar();
}

void CliOutput::ReportProblem(std::string_view text) {
  std::string line(text);
  WriteLogText(line + "\r\n");
  ClearBar();
  std::fprintf(stderr, "vostrel-recover: %s\n", line.c_str());
}

void CliOutput::ShowMessage(std::string_view text) { AddOutputLine(text); }

}  // namespace vostrel
