// The reader of a partitioned table: its partitions' readers (of the engine
// that keeps the partitions), walked one after another in the server's
// partition order. A partition that cannot be read is named; the others are
// still read.
//
// Record positions carry the partition's index above bit 32 of the page, so
// a preview that pages back and forth finds its way across partitions.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "model/engine_context.h"
#include "model/table_def.h"
#include "model/table_reader.h"
#include "partition/partition_list.h"

namespace vostrel {

class SystemDictionary;

class PartitionedReader : public TableReader {
 public:
  static OpenedReader Open(const std::string& folder, const std::string& stem,
                           const TableDef& table, SystemDictionary* dictionary,
                           const EngineContext& ctx, RecoveryOutput& log);

  std::vector<ColumnStorage> storage() const override { return storage_; }
  void Seek(const RecordPosition& from) override;
  bool NextBlock(RecordBlock& block, size_t bytes) override;
  std::unique_ptr<BlockDecoder> NewDecoder() const override;
  bool ReadExternal(const StoredField& field,
                    const std::function<void(const uint8_t*, size_t)>& sink,
                    std::string* problem) override;
  size_t ExternalPrefix(const StoredField& field) const override;
  void Consumed(const RecordBlock& block) override;
  bool Finish(uint64_t rows_read) override;
  RowCount counted() const override;
  std::string subject() const override { return "Partitioned table " + path_; }
  uint64_t source_bytes() const override;
  uint64_t progress_total() const override;
  bool ends_rows_with_commit() const override;
  void ForPreview() override;

  static constexpr int kPartShift = 32;

 private:
  struct Part {
    PartitionPart spec;
    std::unique_ptr<TableReader> reader;  // null: nothing to read (named in the open result)
    uint32_t space_id = 0xFFFFFFFF;       // InnoDB: the tablespace its values are kept in
    uint64_t rows = 0;                    // records decoded, for its Finish
    uint64_t progress_before = 0;         // progress units of the parts before it
  };

  PartitionedReader() = default;
  void StartPart(size_t k, const RecordPosition& from);
  // Moves what part k's reader noted into this reader's log, naming the partition.
  void TakeDamage(Part& p);
  std::string PartLabel(const Part& p) const;

  TableDef part_def_;  // the table as its partitions' engine keeps it
  std::string path_;
  std::vector<Part> parts_;
  std::vector<ColumnStorage> storage_;
  size_t current_ = 0;
  bool preview_ = false;
  bool counts_known_ = true;
  bool offsets_known_ = false;

  friend class PartitionedDecoder;
};

}  // namespace vostrel
