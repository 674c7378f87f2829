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
#include "model/text_decoder.h"

namespace vostrel {

inline constexpr const char* kLargeExternPlaceholder = "Large Size Blob Data";

struct InnoDecodeContext {
  Tablespace& space;              // where value pages are read from
  BlobFileWriter* blobs;          // script saves: large values go to files; else inline
  DecodeOptions opts;
  DamageLog& damage;
};

class InnoRowDecoder {
 public:
  InnoRowDecoder(const TableDef& table, const ClusteredIndex& index,
                 const CollationTable& collations, const CodePage& code_page);
  // False when the record does not fit its page.
  bool Decode(const uint8_t* page, size_t origin, InnoDecodeContext& ctx, Row& row);

 private:
  void DecodeField(const InnoColumnDef& f, const uint8_t* data, size_t len, InnoDecodeContext& ctx,
                   FieldValue& out);
  void DecodeExternal(const InnoColumnDef& f, const uint8_t* data, size_t len,
                      InnoDecodeContext& ctx, FieldValue& out);

  const TableDef& table_;
  const ClusteredIndex& index_;
  std::vector<ColumnTextDecoder> decoders_;
  std::vector<FieldSpan> spans_;
  std::string scratch_;
};

}  // namespace vostrel
