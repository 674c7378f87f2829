// How the engine reports: the GUI and the command line each implement this.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vostrel {

class RecoveryOutput {
 public:
  virtual ~RecoveryOutput() = default;
  // Text for the session log; the caller supplies its own line ends.
  virtual void WriteLogText(std::string_view text) = 0;
  // One line for the output pane.
  virtual void AddOutputLine(std::string_view text) = 0;
  virtual void SetCaptionText(std::string_view text) = 0;
  // total == 0 means the amount of work is unknown.
  virtual void SetProgress(uint64_t done, uint64_t total) = 0;
  // Rows the table being saved has sent so far; a save's progress starts
  // each table at SetProgress(0, total).
  virtual void SetRows(uint64_t rows) { (void)rows; }
  virtual void ShowProgress(bool visible) = 0;
  // An information message the user must see (a message box in the GUI).
  virtual void ShowMessage(std::string_view text) = 0;
  // Something the user must know about the data: a table not read, rows
  // lost, a file refused. The output pane and the log; a command line also
  // prints it on stderr however quiet it was asked to be.
  virtual void ReportProblem(std::string_view text) {
    AddOutputLine(text);
    std::string line(text);
    line += "\r\n";
    WriteLogText(line);
  }
};

// Swallows everything; for callers that need no reports.
class NullOutput : public RecoveryOutput {
 public:
  void WriteLogText(std::string_view) override {}
  void AddOutputLine(std::string_view) override {}
  void SetCaptionText(std::string_view) override {}
  void SetProgress(uint64_t, uint64_t) override {}
  void ShowProgress(bool) override {}
  void ShowMessage(std::string_view) override {}
};

}  // namespace vostrel
