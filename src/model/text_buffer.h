// A growable byte buffer written through raw pointers: the export formats
// millions of short values, and std::string's per-append bookkeeping (and
// zero-filling resize) would cost more than the formatting itself.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

namespace vostrel {

class TextBuffer {
 public:
  // Room for at least `n` more bytes; returns where they go. Write there,
  // then hand the end to Commit.
  // Inlined everywhere: a formatter calls these several times per value.
  [[gnu::always_inline]] char* Reserve(size_t n) {
    if (capacity_ - size_ < n) [[unlikely]]
      Grow(n);
    return data_.get() + size_;
  }
  void Commit(char* end) { size_ = static_cast<size_t>(end - data_.get()); }

  [[gnu::always_inline]] void Append(const char* p, size_t n) {
    if (n == 0) return;
    std::memcpy(Reserve(n), p, n);
    size_ += n;
  }
  void Append(std::string_view s) { Append(s.data(), s.size()); }
  [[gnu::always_inline]] void Push(char c) {
    *Reserve(1) = c;
    ++size_;
  }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const char* data() const { return data_.get(); }
  char* data_at(size_t offset) { return data_.get() + offset; }
  std::string_view view() const { return {data_.get(), size_}; }
  // Drops everything after the first n bytes.
  void Truncate(size_t n) {
    if (n < size_) size_ = n;
  }
  void Clear() { size_ = 0; }
  // Trades contents and storage, so that full buffers change hands without a copy.
  void Swap(TextBuffer& other) noexcept {
    data_.swap(other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }
  size_t capacity() const { return capacity_; }

 private:
  [[gnu::noinline]] void Grow(size_t n) {
    size_t cap = capacity_ < 4096 ? 4096 : capacity_ * 2;
    while (cap - size_ < n) cap *= 2;
    std::unique_ptr<char[]> bigger(new char[cap]);
    if (size_ > 0) std::memcpy(bigger.get(), data_.get(), size_);
    data_ = std::move(bigger);
    capacity_ = cap;
  }

  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace vostrel
