#include "model/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace vostrel {

namespace {

class ReadOnlyFd {
 public:
  explicit ReadOnlyFd(const std::filesystem::path& path, std::string* error = nullptr)
      : fd_(OpenSourceFile(path, error)) {}
  ~ReadOnlyFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadOnlyFd(const ReadOnlyFd&) = delete;
  ReadOnlyFd& operator=(const ReadOnlyFd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

const char* KindProblem(mode_t mode) {
  if (S_ISDIR(mode)) return "is a directory";
  if (S_ISFIFO(mode)) return "is a FIFO";
  if (S_ISSOCK(mode)) return "is a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device";
  if (!S_ISREG(mode)) return "is not a regular file";
  return "";
}

bool ReadFully(int fd, char* buf, size_t count, size_t& got) {
  got = 0;
  while (got < count) {
    ssize_t n = ::read(fd, buf + got, count - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string FileProblem(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return KindProblem(st.st_mode);
  const int err = errno;
  if (err == ELOOP) return "is a symlink loop";
  if (err == ENOENT && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    return "is a dangling symlink";
  }
  if (err == ENOENT) return "does not exist";
  return std::strerror(err);
}

int OpenSourceFile(const std::filesystem::path& path, std::string* error) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer that never comes.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (error) {
      const int err = errno;
      std::string why = FileProblem(path);
      if (why.empty()) why = std::string("cannot be opened: ") + std::strerror(err);
      *error = path.string() + " " + why;
    }
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (error) {
      *error = path.string() + " " + (st.st_mode != 0 ? KindProblem(st.st_mode) : "cannot be read");
    }
    ::close(fd);
    return -1;
  }
  // Reads of a regular file never block; the flag is cleared all the same.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool ReadWholeFile(const std::filesystem::path& path, std::string& out, uint64_t max_bytes,
                   std::string* error) {
  ReadOnlyFd fd(path, error);
  if (fd.get() < 0) return false;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    if (error) *error = path.string() + " cannot be read: " + std::strerror(errno);
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) > max_bytes) {
    if (error) {
      *error = path.string() + " is larger (" + std::to_string(st.st_size) + " bytes) than any " +
               "file of its kind (" + std::to_string(max_bytes) + ")";
    }
    return false;
  }
  out.resize(static_cast<size_t>(st.st_size));
  size_t got = 0;
  if (!ReadFully(fd.get(), out.data(), out.size(), got)) {
    if (error) *error = path.string() + " cannot be read: " + std::strerror(errno);
    return false;
  }
  out.resize(got);
  return true;
}

std::string ReadFilePrefix(const std::filesystem::path& path, size_t count, std::string* error) {
  ReadOnlyFd fd(path, error);
  if (fd.get() < 0) return {};
  std::string out(count, '\0');
  size_t got = 0;
  if (!ReadFully(fd.get(), out.data(), count, got)) {
    if (error) *error = path.string() + " cannot be read: " + std::strerror(errno);
    return {};
  }
  out.resize(got);
  return out;
}

bool WriteOutputFile(const std::filesystem::path& path, std::string_view text, std::string* error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (error) *error = "cannot create " + path.string() + ": " + std::strerror(errno);
    return false;
  }
  const char* p = text.data();
  size_t left = text.size();
  int err = 0;
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err != 0) {
    if (error) *error = "cannot write " + path.string() + ": " + std::strerror(err);
    return false;
  }
  return true;
}

std::filesystem::path FindFileIgnoringCase(const std::filesystem::path& folder,
                                           const std::string& name) {
  std::error_code ec;
  auto exact = folder / name;
  if (std::filesystem::is_regular_file(exact, ec)) return exact;
  auto lower = [](std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
  };
  const std::string want = lower(name);
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    if (lower(it->path().filename().string()) == want && it->is_regular_file(ec)) return it->path();
  }
  return {};
}

}  // namespace vostrel
