// Decodes a MyISAM record image (MySQL's row format) into value texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/collation_table.h"
#include "model/row.h"
#include "model/table_def.h"
#include "model/text_buffer.h"
#include "model/text_decoder.h"
#include "sql/insert_builder.h"

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

// One decoder serves one thread at a time: it keeps scratch buffers and,
// for some character sets, conversion state.
class MyisamRecordDecoder {
 public:
  MyisamRecordDecoder(const TableDef& table, const CollationTable& collations,
                      const CodePage& code_page);
  void Decode(const MyisamRecord& record, const DecodeOptions& opts, Row& row) const;
  // The export's form of Decode: every column's literal, comma separated,
  // appended to `out` without a Row in between.
  void AppendLiterals(const MyisamRecord& record, TextBuffer& out) const;

 private:
  // The common column types are formatted straight into the output.
  enum class Fast : uint8_t {
    kSlow,
    kInt,
    kFloat,
    kDouble,
    kDecimal,
    kNewDate,
    kDate,
    kTime,
    kTime2,
    kDateTime,
    kDateTime2,
    kTimestamp,
    kTimestamp2,
    kYear,
    kVarchar,
    kChar,
    kBlob,
  };
  struct Plan {
    Fast fast = Fast::kSlow;
    LiteralKind kind = LiteralKind::kQuoted;
    size_t bytes = 0;       // read by the fixed-size kinds
    size_t width = 0;       // stored DECIMAL size, or VARCHAR length-prefix bytes
    size_t off = 0;         // in the record image
    size_t null_byte = 0;   // where the NULL bit lies in the image
    uint8_t null_mask = 0;  // 0: the column cannot be NULL
  };
  Plan PlanFor(size_t i) const;
  // The bytes column i's literal is made from (the value text for kSlow);
  // FormatValue writes that literal.
  std::string_view Locate(size_t i, const MyisamRecord& record, uint8_t (&small)[16]) const;
  void FormatValue(size_t i, std::string_view bytes, TextBuffer& out) const;

  bool IsNull(size_t i, const MyisamRecord& record) const;
  // Appends the value text of column i (not NULL) to `t`.
  void AppendColumnText(size_t i, const MyisamRecord& record, const DecodeOptions& opts,
                        std::string& t) const;

  const TableDef& table_;
  std::vector<ColumnTextDecoder> decoders_;
  std::vector<Plan> plans_;
  mutable std::string scratch_;         // Locate's
  mutable std::string format_scratch_;  // FormatValue's
};

}  // namespace vostrel
