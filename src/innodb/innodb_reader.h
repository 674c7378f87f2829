// The InnoDB table reader: the clustered index's leaf pages of a compact
// (or dynamic) table, in its own .ibd or inside ibdata1.
//
// The walk follows the leaf chain, checking each page for being the page
// its link names before following its links; the decoders check each page's
// checksum and read its records. When something went wrong, or the leaf
// segment holds pages the walk did not account for, the file is scanned for
// leaves the chain did not reach, which are then walked too.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "innodb/clustered_fields.h"
#include "innodb/page.h"
#include "innodb/system_dictionary.h"
#include "innodb/table_locator.h"
#include "model/engine_context.h"
#include "model/table_def.h"
#include "model/table_reader.h"

namespace vostrel {

class InnodbReader : public TableReader {
 public:
  // `raw_table` is the .frm file name without extension; `folder` its
  // database folder; `dictionary_name` "db/table" as the dictionary names it.
  static OpenedReader Open(const std::string& folder, const std::string& raw_table,
                           const std::string& dictionary_name, const TableDef& table,
                           SystemDictionary* dictionary, const EngineContext& ctx,
                           RecoveryOutput& log);

  std::vector<ColumnStorage> storage() const override;
  void Seek(const RecordPosition& from) override;
  bool NextBlock(RecordBlock& block, size_t bytes) override;
  std::unique_ptr<BlockDecoder> NewDecoder() const override;
  bool ReadExternal(const StoredField& field,
                    const std::function<void(const uint8_t*, size_t)>& sink,
                    std::string* problem) override;
  size_t ExternalPrefix(const StoredField& field) const override;
  void Consumed(const RecordBlock& block) override;
  bool Finish(uint64_t rows_read) override;
  RowCount counted() const override { return counted_; }
  std::string subject() const override { return "Tablespace " + space().path().string(); }
  uint64_t source_bytes() const override { return LeafPages() * kPageSize; }
  uint64_t progress_total() const override { return LeafPages(); }
  void ForPreview() override;

  const ClusteredIndex& index() const { return src_.index; }

 private:
  struct LeafSeen {
    uint32_t page = 0;
    uint32_t prev = kFilNull;
    uint32_t next = kFilNull;
    bool intact = false;
  };

  InnodbReader(const TableDef& table, const EngineContext& ctx) : table_(table), ctx_(ctx) {}
  Tablespace& space() const { return *src_.space; }
  uint64_t LeafPages() const;
  // One page of the leaf chain into `block`; false when the chain ends here.
  bool WalkOne(RecordBlock& block);
  void EndChain(std::string why, uint32_t at);
  void CountWhatTheLeavesHold();

  const TableDef& table_;
  const EngineContext& ctx_;
  InnoSource src_;
  uint64_t index_id_ = 0;  // of the first leaf: every leaf shares it
  mutable uint64_t leaf_pages_ = UINT64_MAX;
  bool preview_ = false;

  // The walk of the chain.
  bool chain_done_ = false;
  uint32_t next_ = kFilNull;
  uint32_t start_origin_ = 0;
  uint32_t from_ = kFilNull;
  uint64_t walked_ = 0;
  uint64_t handed_ = 0;  // pages handed over in blocks, for progress
  std::vector<bool> walked_pages_;
  // A preview pages back and forth: each leaf's place in the chain as first
  // reached tells a re-read from a chain that loops.
  std::unordered_map<uint32_t, uint64_t> place_;
  std::string walk_damage_;       // what ended the walk, named after the pages before it
  uint32_t walk_end_ = kFilNull;  // the page that ended it, when one did
  bool broken_links_ = false;

  // What the decoded pages told.
  std::vector<LeafSeen> seen_;
  bool lost_pages_ = false;
  uint64_t claimed_ = 0;
  std::atomic<uint64_t> value_pages_{0};

  // Leaves a scan of the file found that the chain did not reach.
  std::vector<std::vector<uint32_t>> extra_;
  size_t extra_chain_ = 0;
  size_t extra_at_ = 0;
  bool scanned_ = false;
  std::vector<uint32_t> counted_elsewhere_;  // damaged leaves the scan found
  RowCount counted_;

  friend class InnodbBlockDecoder;
};

}  // namespace vostrel
