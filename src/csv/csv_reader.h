// The CSV table reader: the .CSV data file line by line, each line's fields
// handed over as their text (NumberForm::kText), and the row count the .CSM
// metadata file keeps.
#pragma once

#include <filesystem>
#include <memory>

#include "model/data_file.h"
#include "model/table_def.h"
#include "model/table_reader.h"

namespace vostrel {

class CsvReader : public TableReader {
 public:
  static OpenedReader Open(const TableDef& table, const std::filesystem::path& csv,
                           const std::filesystem::path& csm);

  std::vector<ColumnStorage> storage() const override;
  void Seek(const RecordPosition& from) override;
  bool NextBlock(RecordBlock& block, size_t bytes) override;
  std::unique_ptr<BlockDecoder> NewDecoder() const override;
  bool Finish(uint64_t rows_read) override;
  RowCount counted() const override { return counted_; }
  std::string subject() const override { return "Data file " + file_.path().string(); }
  uint64_t source_bytes() const override { return file_.size(); }
  uint64_t progress_total() const override { return file_.size(); }

  // Longest line taken; a longer one is named as damage.
  static constexpr size_t kMaxLine = 256u << 20;

 private:
  explicit CsvReader(const TableDef& table) : table_(table) {}

  const TableDef& table_;
  DataFile file_;
  uint64_t pos_ = 0;
  bool done_ = false;
  RowCount counted_;
  bool meta_dirty_ = false;
};

}  // namespace vostrel
