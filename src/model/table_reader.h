// What every storage format gives the rest of the tool: a table reader.
//
// A reader walks its files in stored order and copies what it finds into
// record blocks (stored rows, leaf pages, ...); block decoders, one per
// thread, turn each block into records of stored fields. The savers and the
// preview see only this, a field decoder and a value writer: a new format is
// a new reader, nothing else.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/damage_log.h"
#include "model/stored_field.h"
#include "model/text_buffer.h"

namespace vostrel {

// Stored data copied out by a walk. Its bytes mean something only to the
// reader that filled it; `units` counts what it holds (records or pages).
struct RecordBlock {
  TextBuffer bytes;
  std::vector<uint64_t> marks;  // the reader's own bookkeeping
  uint64_t units = 0;
  uint64_t progress = 0;  // where the walk stood after it, of TableReader::progress_total()
  // Filled by the decoder: per unit whether it decoded, and the records the
  // units say they hold (InnoDB page headers count theirs).
  std::vector<uint8_t> unit_ok;
  uint64_t claimed = 0;
  // A reader made of others (a partitioned table's): which part filled the
  // block, and how many records its decoder handed over.
  uint32_t part = 0;
  uint64_t records = 0;

  void Clear() {
    bytes.Clear();
    marks.clear();
    units = 0;
    unit_ok.clear();
    claimed = 0;
    part = 0;
    records = 0;
  }
};

// Called per record; returning false ends the decoding of the block there.
using FieldsVisitor = std::function<bool(const RecordFields&)>;

// Rows a table's files say it holds, when they say.
struct RowCount {
  bool known = false;
  uint64_t rows = 0;
};

// One per thread: decoders keep scratch space and may not be shared.
class BlockDecoder {
 public:
  virtual ~BlockDecoder() = default;
  // The records of `block` in stored order. What does not decode is noted in
  // `damage` with its position, never handed over as a record.
  virtual void Decode(RecordBlock& block, const FieldsVisitor& visit, DamageLog& damage) = 0;
};

class TableReader {
 public:
  virtual ~TableReader() = default;

  // How the engine keeps each column's bytes, for the field decoder.
  virtual std::vector<ColumnStorage> storage() const = 0;

  // The walk starts over at `from` (the default: the first record; else a
  // position a decoded record gave).
  virtual void Seek(const RecordPosition& from) = 0;
  // Copies about `bytes` of stored data into `block`; false when the walk is
  // over and nothing was added (damage that ended it is in damage()).
  virtual bool NextBlock(RecordBlock& block, size_t bytes) = 0;
  virtual std::unique_ptr<BlockDecoder> NewDecoder() const = 0;

  // Streams a value kept on other pages to `sink`; false when its pages
  // ended early (`problem` says where; what came was delivered).
  virtual bool ReadExternal(const StoredField& field,
                            const std::function<void(const uint8_t*, size_t)>& sink,
                            std::string* problem) {
    if (problem) *problem = "this format keeps no values on other pages";
    return false;
  }
  // How many bytes a value kept elsewhere has here: its local prefix.
  virtual size_t ExternalPrefix(const StoredField& field) const { return 0; }

  // Each decoded block comes back here, in stored order, before the next.
  virtual void Consumed(const RecordBlock& block) {}
  // After the walk reached the end: what the files record about the table
  // (row counts, file lengths, checksums) against `rows_read`, as damage.
  // True when it found more to walk (leaves no link reached): NextBlock then
  // hands that over, and Finish is called again after it.
  virtual bool Finish(uint64_t rows_read) { return false; }
  // Rows the files say the table holds; known after Finish.
  virtual RowCount counted() const { return {}; }

  // Damage the walk met, and the words that name the file in a report.
  DamageLog& damage() { return damage_; }
  virtual std::string subject() const = 0;  // "Data file /x/t.MYD", "Tablespace /x/t.ibd"

  // Source bytes to walk (for progress and the choice of threads) and the
  // unit of RecordBlock::progress.
  virtual uint64_t source_bytes() const = 0;
  virtual uint64_t progress_total() const = 0;

  // Script saves of MyISAM tables end their rows with COMMIT (they always have).
  virtual bool ends_rows_with_commit() const { return false; }
  // The walk serves a preview that pages back and forth.
  virtual void ForPreview() {}

 protected:
  DamageLog damage_;
};

// What opening a table's reader found. Without a reader, `not_read` says why
// the rows cannot be read (a format this tool does not know is "not read: ...").
struct OpenedReader {
  // Where the rows are, for the names the export loops' error lines give.
  enum class Source : uint8_t { kDataFile, kTablespaceFile, kSystemTablespace };

  std::unique_ptr<TableReader> reader;
  Source source = Source::kDataFile;
  std::string row_format;
  std::string not_read;
  std::string note;    // said of a table complete without rows (MEMORY keeps none on disk)
  std::string damage;  // damage that still leaves rows to read (a broken index tree)
  std::string detail;  // a further fact for the log
  bool expected_known = false;
  uint64_t expected = 0;  // rows the files say exist
  // The last AUTO_INCREMENT value handed out, where the files keep it (0: they
  // do not). It can lie above the largest value left when the last rows were deleted.
  uint64_t last_auto_increment = 0;
};

}  // namespace vostrel
