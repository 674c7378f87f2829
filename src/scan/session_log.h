// The session log file: UTF-16LE with a byte-order mark, appended to when the
// name already exists.
#pragma once

#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

namespace vostrel {

class SessionLog {
 public:
  SessionLog() = default;
  ~SessionLog();
  SessionLog(const SessionLog&) = delete;
  SessionLog& operator=(const SessionLog&) = delete;

  // "VostrelMySQLDBRec_log_" + d-m-yyyy-h-m-s + ".txt", without zero padding.
  static std::string FileNameFor(const std::tm& local_time);

  // Opens (or creates) the log for a session started at `now` and writes the
  // session header naming `database_path`. Closes any log opened before.
  bool Open(const std::filesystem::path& folder, std::string_view database_path, std::time_t now,
            std::string* error);
  bool is_open() const { return fd_ >= 0; }
  const std::filesystem::path& path() const { return path_; }

  // UTF-8 in, UTF-16LE out; one write per call.
  void WriteLogText(std::string_view utf8);

  // A write that failed (a full disk): the log is not whole, which the user
  // must be told. The reason names the file.
  bool failed() const;
  std::string failure() const;

 private:
  void Close();
  void Write(const std::string& bytes);
  std::string failure_locked() const;

  mutable std::mutex mutex_;
  int fd_ = -1;
  int write_errno_ = 0;
  std::filesystem::path path_;
};

}  // namespace vostrel
