// Walks over the records of a myisampack'd data file and rebuilds each into
// the record image an unpacked MyISAM table holds, for MyisamRecordDecoder.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "model/damage_log.h"
#include "model/data_file.h"
#include "model/table_def.h"
#include "myisam/myd_reader.h"
#include "myisam/myi_header.h"
#include "myisam/myisam_record.h"
#include "myisam/packed_header.h"

namespace vostrel {

// Rebuilds record images from stored packed records (length header and bits,
// as PackedWalker hands them over). Holds the image and blob buffers, so each
// thread needs its own; the PackedTableInfo is only read.
class PackedRecordUnpacker {
 public:
  PackedRecordUnpacker(const TableDef& table, const PackedTableInfo& info);

  // False, with why(), when the record does not decode to whole columns that
  // use up its bits exactly. `out` stays valid until the next Unpack.
  bool Unpack(const StoredRecord& stored, MyisamRecord& out);
  const char* why() const { return why_; }
  size_t image_length() const { return image_.size(); }

 private:
  bool UnpackBits(const uint8_t* bits, uint64_t length, uint64_t blob_length);

  const PackedTableInfo& info_;
  std::vector<uint8_t> image_;
  std::vector<uint8_t> blob_data_;
  std::vector<BlobSpan> blobs_;
  const char* why_ = "";
};

class PackedWalker {
 public:
  PackedWalker(const TableDef& table, const PackedTableInfo& info, const MyiHeader& header,
               DataFile& file, DamageLog& damage);

  // Visits records from `start` (0 for the whole table, or a position a walk
  // returned). Returns where the next record starts, or kEndOfTable. A
  // record's position is where its length header starts.
  uint64_t Walk(uint64_t start, const RecordVisitor& visit, const std::atomic<bool>* stop);

  // The same walk handing over each record as stored (its length header and
  // bits), for PackedRecordUnpacker elsewhere. Records are only checked for
  // plausible lengths here, and decoded only to find the next record after
  // damage; one that fails to unpack later is for the caller to note.
  uint64_t WalkStored(uint64_t start, const StoredRecordVisitor& visit,
                      const std::atomic<bool>* stop);
  void NoteBadRecord(uint64_t position, const char* why);

  // Where records end: the length the index file records, or the file's own.
  uint64_t data_end() const { return end_; }

 private:
  uint64_t Run(uint64_t start, const RecordVisitor* visit, const StoredRecordVisitor* stored,
               const std::atomic<bool>* stop);
  // The record at `pos` when its length header is plausible and it lies
  // within the data; its bytes stay valid until the next file access.
  enum class Found { kRecord, kNone, kPastEnd };
  Found Locate(uint64_t pos, StoredRecord& rec, PackedRecordHead& head);

  // Whether records decode from `pos` on, `more` after the first.
  bool Confirms(uint64_t pos, int more);

  const PackedTableInfo& info_;
  DataFile& file_;
  DamageLog& damage_;
  PackedRecordUnpacker unpacker_;
  uint64_t end_ = 0;
  bool trailing_margin_ = false;  // the end is the file's: up to 7 zero bytes may follow records
};

// What the index file's state tells beyond the walk, noted as damage: a cut
// data file, fewer rows than it counts, and (when every row was read) rows
// whose checksums do not add up to its sum, so some value read is not the
// one written. `checksum_sum` adds MyisamRowChecksum::Of over the rows read.
void NotePackedTableTotals(const MyiHeader& header, uint64_t file_size, uint64_t rows_read,
                           uint32_t checksum_sum, DamageLog& damage);

}  // namespace vostrel
