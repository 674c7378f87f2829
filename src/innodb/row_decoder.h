// Turns a compact clustered-index record into value texts.
#pragma once

#include <string>
#include <vector>

#include "innodb/clustered_fields.h"
#include "innodb/extern_value.h"
#include "innodb/record.h"
#include "model/collation_table.h"
#include "model/damage_log.h"
#include "model/row.h"
#include "model/table_def.h"
#include "model/text_buffer.h"
#include "model/text_decoder.h"
#include "sql/insert_builder.h"

namespace vostrel {

inline constexpr const char* kLargeExternPlaceholder = "Large Size Blob Data";

struct InnoDecodeContext {
  Tablespace& space;              // where value pages are read from
  BlobFileWriter* blobs;          // script saves: large values go to files; else inline
  DecodeOptions opts;
  DamageLog& damage;
  uint64_t value_pages = 0;       // value pages read so far
};

class InnoRowDecoder {
 public:
  InnoRowDecoder(const TableDef& table, const ClusteredIndex& index,
                 const CollationTable& collations, const CodePage& code_page);
  // False when the record does not fit its page.
  bool Decode(const uint8_t* page, size_t origin, InnoDecodeContext& ctx, Row& row);

  // The export's form of Decode: every column's literal, comma separated,
  // appended to `out` without a Row in between. Values on other pages are left
  // to Decode: kExternal returns with `out` as it was.
  enum class Direct { kDone, kMisfit, kExternal };
  Direct AppendLiterals(const uint8_t* page, size_t origin, TextBuffer& out);
  // False when the table's field layout needs Decode for every row.
  bool direct() const { return direct_; }

 private:
  void AppendFieldText(const InnoColumnDef& f, const uint8_t* data, size_t len,
                       const DecodeOptions& opts, std::string& t) const;
  void DecodeExternal(const InnoColumnDef& f, const uint8_t* data, size_t len,
                      InnoDecodeContext& ctx, FieldValue& out);

  const TableDef& table_;
  const ClusteredIndex& index_;
  std::vector<ColumnTextDecoder> decoders_;
  std::vector<FieldSpan> spans_;
  // The common column types are formatted straight into the output.
  enum class Fast : uint8_t {
    kSlow, kInt, kIntYear, kIntNewDate, kIntDate, kIntTime, kIntDateTime, kIntTimestamp,
    kFloat, kDouble, kDecimal, kTime2, kDateTime2, kTimestamp2, kText, kHex,
  };
  struct Plan {
    int32_t field = -1;  // index field filling the column, or -1
    Fast fast = Fast::kSlow;
    LiteralKind kind = LiteralKind::kQuoted;
  };
  static Fast FastFor(const InnoColumnDef& f, const ColumnDef& c, LiteralKind kind, bool binary);

  std::vector<Plan> plans_;  // per column
  bool direct_ = true;
  std::string scratch_;
};

}  // namespace vostrel
