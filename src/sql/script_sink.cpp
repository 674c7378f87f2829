#include "sql/script_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vostrel {

ScriptSink::~ScriptSink() {
  CloseScript();
}

bool ScriptSink::OpenScript(const std::filesystem::path& path, std::string* error, bool append) {
  CloseScript();
  failed_ = false;
  write_errno_ = 0;
  path_ = path;
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
  fd_ = ::open(path.c_str(), flags, 0666);
  if (fd_ < 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  quit_ = false;
  try {
    writer_ = std::thread([this] { WriterLoop(); });
  } catch (const std::exception&) {
    // No thread to be had: buffers are written where they are handed over.
  }
  return true;
}

bool ScriptSink::CloseScript() {
  if (fd_ < 0) return !failed_;
  Hand(buffer_);
  {
    std::unique_lock<std::mutex> lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  if (writer_.joinable()) writer_.join();
  if (::close(fd_) != 0) {
    if (write_errno_ == 0) write_errno_ = errno;
    failed_ = true;
  }
  fd_ = -1;
  queue_.clear();
  spare_.clear();
  buffer_ = TextBuffer();
  return !failed_;
}

void ScriptSink::WriteOut(const char* data, size_t size) {
  while (size > 0 && !failed_) {
    const ssize_t n = ::write(fd_, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      write_errno_ = errno;
      failed_ = true;
      break;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}

void ScriptSink::WriterLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return quit_ || !queue_.empty(); });
    if (queue_.empty()) return;  // quit with nothing left
    TextBuffer b = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    WriteOut(b.data(), b.size());
    b.Clear();
    lock.lock();
    if (spare_.size() < kSpares) spare_.push_back(std::move(b));
    changed_.notify_all();
  }
}

// Queues `full` for the writer and leaves an empty buffer in its place.
void ScriptSink::Hand(TextBuffer& full) {
  if (full.empty()) return;
  if (!writer_.joinable()) {
    WriteOut(full.data(), full.size());
    full.Clear();
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return queue_.size() < kQueued; });
  const size_t handed = full.size();
  queue_.emplace_back();
  queue_.back().Swap(full);
  if (!spare_.empty()) {
    full.Swap(spare_.back());
    spare_.pop_back();
  }
  lock.unlock();
  changed_.notify_all();
  // Room for as much again in one allocation, rather than growing step by step.
  if (full.capacity() < handed) full.Reserve(handed);
}

void ScriptSink::WriteText(std::string_view text) {
  if (fd_ < 0 || text.empty()) return;
  buffer_.Append(text);
  if (buffer_.size() >= kBuffer) Hand(buffer_);
}

bool ScriptSink::WriteRows(TextBuffer& statements) {
  if (fd_ < 0) return !failed_;  // as ExecuteRow: nothing to write to
  if (statements.size() < kBuffer / 16) {
    WriteText(statements.view());
    statements.Clear();
  } else {
    Hand(buffer_);  // what came before goes first
    Hand(statements);
  }
  return !failed_;
}

bool ScriptSink::ExecuteRow(std::string_view statement) {
  WriteText(statement);
  return !failed_;
}

}  // namespace vostrel
