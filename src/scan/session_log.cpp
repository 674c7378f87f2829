#include "scan/session_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "model/text_codec.h"

namespace vostrel {

namespace {

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

SessionLog::~SessionLog() {
  Close();
}

void SessionLog::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::string SessionLog::FileNameFor(const std::tm& t) {
  return "VostrelMySQLDBRec_log_" + std::to_string(t.tm_mday) + "-" + std::to_string(t.tm_mon + 1) +
         "-" + std::to_string(t.tm_year + 1900) + "-" + std::to_string(t.tm_hour) + "-" +
         std::to_string(t.tm_min) + "-" + std::to_string(t.tm_sec) + ".txt";
}

bool SessionLog::Open(const std::filesystem::path& folder, std::string_view database_path,
                      std::time_t now, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  Close();
  std::tm local{};
  localtime_r(&now, &local);
  path_ = folder / FileNameFor(local);
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    if (error) *error = "cannot open log file " + path_.string() + ": " + std::strerror(errno);
    return false;
  }
  write_errno_ = 0;
  if (::lseek(fd_, 0, SEEK_END) == 0) Write(std::string("\xFF\xFE", 2));
  const std::string header = "\r\n" + std::string(80, '*') + "\r\n" + std::string(database_path) +
                             " File is selected for recovery....\r\n";
  Write(Utf8ToUtf16Le(header));
  if (write_errno_ != 0) {
    if (error) *error = failure_locked();
    Close();
    return false;
  }
  return true;
}

void SessionLog::Write(const std::string& bytes) {
  if (!WriteAll(fd_, bytes.data(), bytes.size()) && write_errno_ == 0) write_errno_ = errno;
}

void SessionLog::WriteLogText(std::string_view utf8) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fd_ < 0) return;
  Write(Utf8ToUtf16Le(utf8));
}

bool SessionLog::failed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return write_errno_ != 0;
}

std::string SessionLog::failure() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failure_locked();
}

std::string SessionLog::failure_locked() const {
  if (write_errno_ == 0) return {};
  return "the log file " + path_.string() + " could not be written: " + std::strerror(write_errno_);
}

}  // namespace vostrel
