// Walks over the rows of a MyISAM data file: fixed-length rows, and dynamic
// rows assembled from their block chains.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "model/damage_log.h"
#include "model/data_file.h"
#include "model/table_def.h"
#include "myisam/myi_header.h"
#include "myisam/myisam_record.h"

namespace vostrel {

inline constexpr uint64_t kEndOfTable = UINT64_MAX;

// Called per live record with the position where the walk goes on; returning
// false ends the walk there.
using RecordVisitor = std::function<bool(const MyisamRecord&, uint64_t next)>;

// A record as stored: a fixed row, or the packed bytes of a dynamic record
// gathered from its block chain. Valid during the call only.
struct StoredRecord {
  const uint8_t* data = nullptr;
  size_t length = 0;
  uint64_t position = 0;
  uint64_t block = 0;  // where its first block starts, for damage lines
};
using StoredRecordVisitor = std::function<bool(const StoredRecord&, uint64_t next)>;

// Turns stored records into record images. Dynamic rows are rebuilt into a
// buffer of its own, so each thread needs its own unpacker.
class RecordUnpacker {
 public:
  RecordUnpacker(const TableDef& table, const MyiHeader& header);

  // False when a dynamic record's bytes do not fit the column table.
  bool Unpack(const StoredRecord& stored, MyisamRecord& out);
  // Rebuilds the record image from one assembled dynamic record.
  bool UnpackDynamicRow(const uint8_t* data, size_t length);

  // The image UnpackDynamicRow last rebuilt.
  MyisamRecord Rebuilt(uint64_t position) const {
    return MyisamRecord{image_.data(), image_.size(), &blobs_, position};
  }
  const std::vector<uint8_t>& image() const { return image_; }
  size_t image_length() const { return image_length_; }

 private:
  const MyiHeader& header_;
  size_t image_length_ = 0;
  std::vector<uint8_t> image_;
  std::vector<BlobSpan> blobs_;
};

class MydWalker {
 public:
  MydWalker(const TableDef& table, const MyiHeader& header, DataFile& file, DamageLog& damage);

  // Visits records from `start` (0 for the whole table, or a position a walk
  // returned). Returns where the next record would be read, or kEndOfTable.
  uint64_t Walk(uint64_t start, const RecordVisitor& visit, const std::atomic<bool>* stop);

  // The same walk handing over records as stored, for unpacking elsewhere
  // (on other threads). Dynamic records are only checked against the column
  // table while the walk resynchronises after damage; one that fails to
  // unpack later is damage for the caller to note (NoteBadRecord).
  uint64_t WalkStored(uint64_t start, const StoredRecordVisitor& visit,
                      const std::atomic<bool>* stop);
  void NoteBadRecord(uint64_t block);

 private:
  uint64_t WalkFixed(uint64_t start, const RecordVisitor* visit, const StoredRecordVisitor* stored,
                     const std::atomic<bool>* stop);
  uint64_t WalkDynamic(uint64_t start, const RecordVisitor* visit,
                       const StoredRecordVisitor* stored, const std::atomic<bool>* stop);

  const TableDef& table_;
  const MyiHeader& header_;
  DataFile& file_;
  DamageLog& damage_;
  RecordUnpacker unpacker_;
  std::vector<uint8_t> record_;
};

}  // namespace vostrel
