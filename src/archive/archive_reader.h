// The ARCHIVE table reader: an .ARZ file's header (format 3: the server's own
// header, the table's .frm, then deflate streams of rows; format 2: gzip), the
// rows inflated in order and split into stored fields. A damaged stream
// cannot be read past: what comes after the damage is named.
#pragma once

#include <zlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "model/data_file.h"
#include "model/table_def.h"
#include "model/table_reader.h"

namespace vostrel {

struct ArzHeader {
  uint8_t version = 0;  // 3: the server's header; 2: a gzip file
  uint64_t data_start = 0;
  uint64_t rows = 0;
  bool dirty = false;
};
// False (with `why`) when `bytes` (the file's first bytes) start no .ARZ file.
bool ParseArzHeader(const uint8_t* bytes, size_t size, ArzHeader& header, std::string* why);

class ArchiveReader : public TableReader {
 public:
  static OpenedReader Open(const TableDef& table, const std::filesystem::path& arz);
  ~ArchiveReader() override;

  std::vector<ColumnStorage> storage() const override;
  void Seek(const RecordPosition& from) override;
  bool NextBlock(RecordBlock& block, size_t bytes) override;
  std::unique_ptr<BlockDecoder> NewDecoder() const override;
  bool Finish(uint64_t rows_read) override;
  RowCount counted() const override { return {true, header_.rows}; }
  std::string subject() const override { return "Data file " + file_.path().string(); }
  uint64_t source_bytes() const override { return file_.size(); }
  uint64_t progress_total() const override { return file_.size(); }

  // Longest row taken; a longer length is damage.
  static constexpr uint32_t kMaxRow = 1u << 30;

 private:
  explicit ArchiveReader(const TableDef& table) : table_(table) {}
  // Starts the inflate over at the first stream.
  void Restart();
  // Inflates more into pending_; false when nothing more comes (the end, or damage).
  bool Inflate();

  const TableDef& table_;
  DataFile file_;
  ArzHeader header_;
  z_stream zs_{};
  bool zs_open_ = false;
  uint64_t in_pos_ = 0;   // next compressed byte to feed
  uint64_t out_pos_ = 0;  // uncompressed offset of pending_[pending_at_]
  std::string pending_;   // inflated bytes not yet handed over
  size_t pending_at_ = 0;
  bool stream_end_ = false;  // the last stream ended cleanly
  bool failed_ = false;
  bool unfinished_ = false;          // the file ended before the last stream did
  uint32_t crc_ = 0;                 // of the current stream's bytes so far
  bool crc_valid_ = true;            // false after a Seek past the start: no whole-stream check
  uint64_t skip_to_ = 0;             // a Seek's target, reached by inflating
  bool legacy_header_done_ = false;  // format 2: the two-byte data header is skipped
  bool done_ = false;

  friend class ArchiveBlockDecoder;
};

}  // namespace vostrel
