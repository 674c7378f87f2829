#include "cli/cli_output.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace vostrel {

CliOutput::CliOutput(SessionLog& log, bool quiet)
    : log_(log), quiet_(quiet), tty_(::isatty(STDERR_FILENO) == 1) {}

CliOutput::~CliOutput() {
  ClearBar();
}

void CliOutput::ClearBar() {
  if (bar_shown_) {
    std::fputs("\r\033[K", stderr);
    bar_shown_ = false;
    last_percent_ = -1;
  }
}

void CliOutput::WriteLogText(std::string_view text) {
  log_.WriteLogText(text);
}

void CliOutput::AddOutputLine(std::string_view text) {
  if (quiet_) return;
  ClearBar();
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}

void CliOutput::SetCaptionText(std::string_view) {}

void CliOutput::SetRows(uint64_t rows) {
  rows_ = rows;
}

void CliOutput::SetProgress(uint64_t done, uint64_t total) {
  if (!tty_ || quiet_ || total == 0) return;
  const Clock::time_point now = Clock::now();
  if (done == 0) {
    // A new table: its rate and time left start afresh.
    rows_before_ += rows_;
    rows_ = 0;
    table_start_ = now;
  }
  const int percent = static_cast<int>(std::min<uint64_t>(done, total) * 100 / total);
  // A few redraws a second are enough for the eye.
  if (percent == last_percent_ && now - drawn_ < std::chrono::milliseconds(250)) return;
  last_percent_ = percent;
  drawn_ = now;
  const double secs = std::chrono::duration<double>(now - table_start_).count();
  const double rate = secs > 0.05 ? static_cast<double>(done) / secs : 0;
  char left[32] = "";
  if (rate > 0 && done < total) {
    const auto s = static_cast<uint64_t>(static_cast<double>(total - done) / rate);
    std::snprintf(left, sizeof left, "  %llu:%02llu left", static_cast<unsigned long long>(s / 60),
                  static_cast<unsigned long long>(s % 60));
  }
  const int width = 20;
  const int filled = percent * width / 100;
  std::fprintf(stderr, "\r\033[K[%.*s%*s] %3d%%  %llu rows (%llu in all)  %.1f MB/s%s", filled,
               "####################", width - filled, "", percent,
               static_cast<unsigned long long>(rows_),
               static_cast<unsigned long long>(rows_before_ + rows_), rate / 1e6, left);
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

void CliOutput::ShowMessage(std::string_view text) {
  AddOutputLine(text);
}

}  // namespace vostrel
