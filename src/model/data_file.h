// A source data file opened read-only, read through a window cache so that
// sequential walks cost few system calls and random chains stay cheap.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vostrel {

class DataFile {
 public:
  DataFile() = default;
  ~DataFile();
  DataFile(const DataFile&) = delete;
  DataFile& operator=(const DataFile&) = delete;

  bool Open(const std::filesystem::path& path, std::string* error);
  void Close();
  bool is_open() const { return fd_ >= 0; }
  uint64_t size() const { return size_; }
  const std::filesystem::path& path() const { return path_; }

  // Copies up to `length` bytes at `pos` into `out`; returns how many exist
  // (fewer at the end of the file). Large reads bypass the window.
  size_t Read(uint64_t pos, size_t length, uint8_t* out);
  // Bytes [pos, pos + length) when they exist, or nullptr. Valid until the next call.
  const uint8_t* View(uint64_t pos, size_t length);

  static constexpr size_t kWindow = 1 << 20;

 private:
  bool Fill(uint64_t pos);

  int fd_ = -1;
  uint64_t size_ = 0;
  std::filesystem::path path_;
  std::vector<uint8_t> window_;
  uint64_t window_pos_ = 0;
  size_t window_len_ = 0;
  std::vector<uint8_t> large_;
};

}  // namespace vostrel
