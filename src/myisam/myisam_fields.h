// The columns of a MyISAM record image as stored fields: where each value's
// bytes lie in the image (or beside it, for BLOBs), and which are NULL.
#pragma once

#include <cstdint>
#include <vector>

#include "model/stored_field.h"
#include "model/table_def.h"
#include "myisam/myisam_record.h"

namespace vostrel {

// How MyISAM keeps numbers: little-endian, as the server's record image.
std::vector<ColumnStorage> MyisamColumnStorage(const TableDef& table);

class MyisamFieldSplitter {
 public:
  explicit MyisamFieldSplitter(const TableDef& table);

  // The fields of `record`, valid while the record and this splitter are.
  const std::vector<StoredField>& Split(const MyisamRecord& record);

 private:
  enum class Kind : uint8_t { kFixed, kVarchar, kChar, kBlob, kBit };
  struct Plan {
    Kind kind = Kind::kFixed;
    uint8_t null_mask = 0;  // 0: the column cannot be NULL
    uint32_t null_byte = 0;
    uint32_t off = 0;       // in the image
    uint32_t width = 0;     // fixed bytes, VARCHAR length-prefix bytes, or CHAR length
    uint32_t max = 0;       // VARCHAR: longest value
    int32_t leftover = -1;  // BIT: where its odd bits sit in the null bitmap
    int bits = 0;           // BIT: the column's bits
  };

  StoredField Bits(size_t i, const Plan& p, const uint8_t* image, size_t n);

  const TableDef& table_;
  std::vector<Plan> plans_;
  std::vector<StoredField> fields_;
  std::vector<uint8_t> bits_;  // BIT values rebuilt whole, 8 bytes a column
};

}  // namespace vostrel
