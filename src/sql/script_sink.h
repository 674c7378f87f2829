// The script file of one database: UTF-8 without BOM, CR LF line ends.
// Text is gathered in large buffers that a writer thread of the sink's own
// hands to the file, so formatting goes on while the previous buffer is
// written; the bytes and their order are the same as with direct writes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "model/text_buffer.h"
#include "sql/row_sink.h"

namespace vostrel {

class ScriptSink : public RowSink {
 public:
  ScriptSink() = default;
  ~ScriptSink() override;
  ScriptSink(const ScriptSink&) = delete;
  ScriptSink& operator=(const ScriptSink&) = delete;

  // `append` continues a script written earlier in the same run.
  bool OpenScript(const std::filesystem::path& path, std::string* error, bool append = false);
  // False when any write failed (a full disk must not pass for a saved script).
  bool CloseScript();
  bool is_open() const { return fd_ >= 0; }
  bool failed() const { return failed_.load(); }
  // Why a write failed ("No space left on device"), once failed().
  std::string error() const { return write_errno_ != 0 ? std::strerror(write_errno_) : ""; }
  const std::filesystem::path& path() const { return path_; }

  bool script_form() const override { return true; }
  bool ExecuteRow(std::string_view statement) override;
  void WriteText(std::string_view text) override;
  void WriteLineEnd() { WriteText("\r\n"); }
  // Many finished statements at once. The sink takes the buffer's storage and
  // leaves an empty one in its place.
  bool WriteRows(TextBuffer& statements);

  // Size at which a buffer goes to the writer.
  static constexpr size_t kBuffer = 1 << 20;
  // Buffers queued for the writer before the sink waits for it.
  static constexpr size_t kQueued = 2;
  // Written buffers kept for reuse: enough for every export batch in flight,
  // so that buffers circulate instead of being freed and grown again.
  static constexpr size_t kSpares = 24;

 private:
  void Hand(TextBuffer& full);
  void WriterLoop();
  void WriteOut(const char* data, size_t size);

  int fd_ = -1;
  std::atomic<bool> failed_{false};
  std::atomic<int> write_errno_{0};
  std::filesystem::path path_;
  TextBuffer buffer_;  // being filled

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<TextBuffer> queue_;   // full, in file order
  std::vector<TextBuffer> spare_;  // written, kept for reuse
  bool quit_ = false;
  std::thread writer_;
};

}  // namespace vostrel
