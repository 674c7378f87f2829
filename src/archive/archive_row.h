// The columns of an ARCHIVE row as stored fields. Format 3 rows are the null
// bytes of the record image, then each non-NULL field packed (CHAR without
// its padding and a length byte or two, VARCHAR and BLOB with their length,
// BIT with its odd bits first, the rest as in the record image); values are
// in the MyISAM record image's forms (MyisamColumnStorage).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/stored_field.h"
#include "model/table_def.h"

namespace vostrel {

class ArchiveRowSplitter {
 public:
  explicit ArchiveRowSplitter(const TableDef& table);

  // The fields of one packed row; false (with `why`) when the row's bytes do
  // not hold its fields. Valid while `row` and this splitter are.
  bool Split(const uint8_t* row, size_t length, std::string* why);
  const std::vector<StoredField>& fields() const { return fields_; }

 private:
  enum class Kind : uint8_t { kFixed, kChar, kVarchar, kBlob, kBit };
  struct Plan {
    Kind kind = Kind::kFixed;
    uint8_t null_mask = 0;
    uint32_t null_byte = 0;
    uint32_t width = 0;  // fixed bytes; CHAR/VARCHAR: longest value; BLOB: length bytes
    uint32_t length_bytes = 0;
    bool zero_pad = false;  // BINARY(n): the server gives it back padded with zero bytes
    uint32_t odd_bits = 0;  // BIT: bits kept apart from its whole bytes
  };

  const TableDef& table_;
  size_t null_bytes_ = 0;
  std::vector<Plan> plans_;
  std::vector<StoredField> fields_;
  std::vector<uint8_t> scratch_;  // BINARY values padded, BIT values whole
};

}  // namespace vostrel
