// The columns of a redundant-format clustered-index record as stored fields.
#pragma once

#include <cstdint>
#include <vector>

#include "innodb/clustered_fields.h"
#include "innodb/redundant_record.h"
#include "model/stored_field.h"
#include "model/table_def.h"

namespace vostrel {

class RedundantFieldSplitter {
 public:
  RedundantFieldSplitter(const TableDef& table, const ClusteredIndex& index);

  // The fields of the record at `origin`, valid while the page and this
  // splitter are; nullptr when the record does not fit its page or holds
  // another number of fields than the index. A reference to value pages too
  // short to be one becomes an empty value, and `short_reference` names its
  // column (else it is set to -1).
  const std::vector<StoredField>* Split(const uint8_t* page, size_t origin,
                                        int32_t* short_reference);

 private:
  const ClusteredIndex& index_;
  std::vector<int32_t> column_of_field_;
  RedundantRecord record_;
  std::vector<StoredField> fields_;
};

}  // namespace vostrel
