// Shared pieces of the libFuzzer harnesses: the collation table, a scratch
// file for readers that open paths, and the split of one input into parts.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "model/collation_table.h"
#include "model/text_codec.h"

namespace vostrel::fuzz {

inline const CodePage& Cp() {
  static const CodePage cp;
  return cp;
}

inline const CollationTable& Collations() {
  static const CollationTable table = CollationTable::Load(
      {std::filesystem::path(VOSTREL_SOURCE_DIR) / "data" / kCollationFileName}, Cp());
  return table;
}

// One folder per process under /dev/shm (or TMPDIR), removed at exit. The
// path is never destroyed, so that the exit handler can still read it.
inline const std::filesystem::path& ScratchDir() {
  static const std::filesystem::path* dir = [] {
    const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    if (const char* t = std::getenv("TMPDIR"); t && *t) base = t;
    std::string tmpl = std::string(base) + "/vostrel-fuzz.XXXXXX";
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    return new std::filesystem::path(tmpl);
  }();
  static const bool cleanup = [] {
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(*dir, ec);
    });
    return true;
  }();
  (void)cleanup;
  return *dir;
}

// Writes the bytes to <scratch>/name, replacing what was there.
inline std::filesystem::path WriteScratch(const std::string& name, const uint8_t* data,
                                          size_t size) {
  const std::filesystem::path path = ScratchDir() / name;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  return path;
}

// Inputs made of several files: a little-endian 16-bit length before every
// part but the last, which takes the rest.
class Parts {
 public:
  Parts(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  // The next length-prefixed part (clipped to what is left).
  std::pair<const uint8_t*, size_t> Next() {
    size_t len = 0;
    if (pos_ + 2 <= size_) {
      len = data_[pos_] | (size_t{data_[pos_ + 1]} << 8);
      pos_ += 2;
    } else {
      pos_ = size_;
    }
    if (len > size_ - pos_) len = size_ - pos_;
    const uint8_t* p = data_ + pos_;
    pos_ += len;
    return {p, len};
  }
  std::pair<const uint8_t*, size_t> Rest() { return {data_ + pos_, size_ - pos_}; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// A decoded value larger than this cannot have come from the input: text
// conversion at most triples a byte, hex doubles it.
inline bool ValueTooLarge(const std::string& text, size_t input_size) {
  return text.size() > 4 * input_size + 1024;
}

[[noreturn]] inline void Fail(const char* what, size_t got) {
  std::fprintf(stderr, "fuzz invariant broken: %s (%zu bytes)\n", what, got);
  std::abort();
}

}  // namespace vostrel::fuzz
