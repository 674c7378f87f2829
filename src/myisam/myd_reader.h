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
#include "myisam/record_decoder.h"

namespace vostrel {

inline constexpr uint64_t kEndOfTable = UINT64_MAX;

// Called per live record with the position where the walk goes on; returning
// false ends the walk there.
using RecordVisitor = std::function<bool(const MyisamRecord&, uint64_t next)>;

class MydWalker {
 public:
  MydWalker(const TableDef& table, const MyiHeader& header, DataFile& file, DamageLog& damage);

  // Visits records from `start` (0 for the whole table, or a position a walk
  // returned). Returns where the next record would be read, or kEndOfTable.
  uint64_t Walk(uint64_t start, const RecordVisitor& visit, const std::atomic<bool>* stop);

  // Rebuilds the record image from one assembled dynamic record; false when
  // the bytes do not fit the column table.
  bool UnpackDynamicRow(const uint8_t* data, size_t length);

  const std::vector<uint8_t>& image() const { return image_; }
  const std::vector<BlobSpan>& blobs() const { return blobs_; }

 private:
  uint64_t WalkFixed(uint64_t start, const RecordVisitor& visit, const std::atomic<bool>* stop);
  uint64_t WalkDynamic(uint64_t start, const RecordVisitor& visit, const std::atomic<bool>* stop);

  const TableDef& table_;
  const MyiHeader& header_;
  DataFile& file_;
  DamageLog& damage_;
  size_t image_length_ = 0;
  std::vector<uint8_t> image_;
  std::vector<BlobSpan> blobs_;
  std::vector<uint8_t> record_;
};

}  // namespace vostrel
