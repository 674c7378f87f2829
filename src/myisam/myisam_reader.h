// The MyISAM table reader: fixed, dynamic and myisampack'd rows of a .MYD,
// with the row format and the counts the .MYI records.
#pragma once

#include <atomic>
#include <filesystem>
#include <memory>

#include "model/data_file.h"
#include "model/table_def.h"
#include "model/table_reader.h"
#include "myisam/myd_reader.h"
#include "myisam/myi_header.h"
#include "myisam/packed_records.h"

namespace vostrel {

class MyisamReader : public TableReader {
 public:
  // Reads the .MYI state and opens the .MYD; without a reader, the result
  // says why the rows cannot be read.
  static OpenedReader Open(const TableDef& table, const std::filesystem::path& myi,
                           const std::filesystem::path& myd);

  std::vector<ColumnStorage> storage() const override;
  void Seek(const RecordPosition& from) override;
  bool NextBlock(RecordBlock& block, size_t bytes) override;
  std::unique_ptr<BlockDecoder> NewDecoder() const override;
  bool Finish(uint64_t rows_read) override;
  RowCount counted() const override { return {true, header_.live_rows}; }
  std::string subject() const override { return "Data file " + file_.path().string(); }
  uint64_t source_bytes() const override { return file_.size(); }
  uint64_t progress_total() const override { return file_.size(); }
  bool ends_rows_with_commit() const override { return true; }

 private:
  MyisamReader(const TableDef& table) : table_(table) {}

  const TableDef& table_;
  MyiHeader header_;
  DataFile file_;
  bool packed_ = false;
  PackedTableInfo packed_info_;
  std::unique_ptr<MydWalker> walker_;
  std::unique_ptr<PackedWalker> packed_walker_;
  uint64_t pos_ = 0;
  bool done_ = false;
  // myisampack keeps the sum of its rows' checksums; decoders add theirs up.
  mutable std::atomic<uint32_t> checksum_sum_{0};

  friend class MyisamBlockDecoder;
};

}  // namespace vostrel
