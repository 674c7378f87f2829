// Decodes a MyISAM record image (MySQL's row format) into value texts.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "model/collation_table.h"
#include "model/row.h"
#include "model/table_def.h"
#include "model/text_decoder.h"

namespace vostrel {

// Data of one BLOB/TEXT field, kept apart from the record image.
struct BlobSpan {
  uint32_t image_offset = 0;
  const uint8_t* data = nullptr;
  size_t length = 0;
};

struct MyisamRecord {
  const uint8_t* image = nullptr;
  size_t image_length = 0;
  const std::vector<BlobSpan>* blobs = nullptr;
  uint64_t position = 0;
};

class MyisamRecordDecoder {
 public:
  MyisamRecordDecoder(const TableDef& table, const CollationTable& collations,
                      const CodePage& code_page);
  void Decode(const MyisamRecord& record, const DecodeOptions& opts, Row& row) const;

 private:
  void DecodeColumn(size_t i, const MyisamRecord& record, const DecodeOptions& opts,
                    FieldValue& out) const;

  const TableDef& table_;
  std::vector<ColumnTextDecoder> decoders_;
};

}  // namespace vostrel
