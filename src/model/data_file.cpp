#include "model/data_file.h"

#include "model/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vostrel {

DataFile::~DataFile() {
  Close();
}

void DataFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
  window_len_ = 0;
}

bool DataFile::Open(const std::filesystem::path& path, std::string* error) {
  Close();
  path_ = path;
  fd_ = OpenSourceFile(path, error);
  if (fd_ < 0) return false;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    if (error) *error = path.string() + " cannot be read: " + std::strerror(errno);
    Close();
    return false;
  }
  size_ = static_cast<uint64_t>(st.st_size);
  ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  return true;
}

static size_t PreadAll(int fd, uint8_t* out, size_t length, uint64_t pos) {
  size_t got = 0;
  while (got < length) {
    const ssize_t n = ::pread(fd, out + got, length - got, static_cast<off_t>(pos + got));
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

bool DataFile::Fill(uint64_t pos) {
  if (window_.size() != kWindow) window_.resize(kWindow);
  window_pos_ = pos;
  window_len_ = PreadAll(fd_, window_.data(), kWindow, pos);
  return window_len_ > 0;
}

const uint8_t* DataFile::View(uint64_t pos, size_t length) {
  // Inside the window: the usual case of a walk, decided first. A filled
  // window only ever covers bytes of the file.
  if (pos >= window_pos_ && pos - window_pos_ <= window_len_ &&
      length <= window_len_ - (pos - window_pos_) && window_len_ > 0) {
    return window_.data() + (pos - window_pos_);
  }
  if (fd_ < 0 || pos > size_ || length > size_ - pos) return nullptr;
  if (length > kWindow) {
    large_.resize(length);
    return PreadAll(fd_, large_.data(), length, pos) == length ? large_.data() : nullptr;
  }
  if (!Fill(pos)) return nullptr;
  if (length > window_len_) return nullptr;
  return window_.data();
}

size_t DataFile::Read(uint64_t pos, size_t length, uint8_t* out) {
  if (fd_ < 0 || pos >= size_) return 0;
  const size_t avail = static_cast<size_t>(std::min<uint64_t>(length, size_ - pos));
  if (avail > kWindow) return PreadAll(fd_, out, avail, pos);
  const uint8_t* p = View(pos, avail);
  if (p == nullptr) return 0;
  // Block headers and short records: fixed-size copies instead of a library call.
  if (avail >= 16 && avail <= 32) {
    std::memcpy(out, p, 16);
    std::memcpy(out + avail - 16, p + avail - 16, 16);
  } else {
    std::memcpy(out, p, avail);
  }
  return avail;
}

}  // namespace vostrel
