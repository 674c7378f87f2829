#include "model/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <system_error>

namespace vostrel {

namespace {

class ReadOnlyFd {
 public:
  explicit ReadOnlyFd(const std::filesystem::path& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~ReadOnlyFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadOnlyFd(const ReadOnlyFd&) = delete;
  ReadOnlyFd& operator=(const ReadOnlyFd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

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

bool ReadWholeFile(const std::filesystem::path& path, std::string& out, uint64_t max_bytes) {
  ReadOnlyFd fd(path);
  if (fd.get() < 0) return false;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (static_cast<uint64_t>(st.st_size) > max_bytes) return false;
  out.resize(static_cast<size_t>(st.st_size));
  size_t got = 0;
  if (!ReadFully(fd.get(), out.data(), out.size(), got)) return false;
  out.resize(got);
  return true;
}

std::string ReadFilePrefix(const std::filesystem::path& path, size_t count) {
  ReadOnlyFd fd(path);
  if (fd.get() < 0) return {};
  std::string out(count, '\0');
  size_t got = 0;
  if (!ReadFully(fd.get(), out.data(), count, got)) return {};
  out.resize(got);
  return out;
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
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (lower(it->path().filename().string()) == want && it->is_regular_file(ec)) return it->path();
  }
  return {};
}

}  // namespace vostrel
