// How the engine reports: the GUI and the command line each implement this.
#pragma once

#include <cstdint>
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
  virtual void ShowProgress(bool visible) = 0;
  // An information message the user must see (a message box in the GUI).
  virtual void ShowMessage(std::string_view text) = 0;
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
