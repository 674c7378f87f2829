// Row-storage facts and the stored-column table of a MyISAM index file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "model/byte_view.h"

namespace vostrel {

enum MyiFieldKind : int16_t {
  kFieldNormal = 0,
  kFieldSkipEndspace = 1,
  kFieldSkipPrespace = 2,
  kFieldSkipZero = 3,
  kFieldBlob = 4,
  kFieldConstant = 5,
  kFieldInterval = 6,
  kFieldZero = 7,
  kFieldVarchar = 8,
  kFieldCheck = 9,
};

struct MyiColumn {
  int16_t kind = 0;
  uint16_t length = 0;
  uint8_t null_bit = 0;
  uint16_t null_pos = 0;
};

enum MyiRowFormat : uint32_t { kRowFixed = 0, kRowDynamic = 1, kRowCompressed = 2 };

struct MyiHeader {
  uint32_t row_format = kRowFixed;
  uint16_t options = 0;
  uint64_t records = 0;  // the table's MAX_ROWS setting
  // The state the server last wrote: live rows and the data file's length.
  // A table the server did not close (open_count > 0) may hold more.
  uint16_t open_count = 0;
  uint64_t live_rows = 0;
  uint64_t data_file_length = 0;
  uint64_t auto_increment = 0;  // the last AUTO_INCREMENT value handed out
  // Sum of every row's checksum: kept by myisampack, and by tables made WITH CHECKSUM=1.
  uint32_t table_checksum = 0;
  uint32_t record_length = 0;
  uint32_t packed_row_length = 0;
  uint32_t min_packed_length = 0;
  uint32_t field_count = 0;
  uint8_t key_count = 0;
  uint16_t flag_bytes = 0;
  uint16_t blob_count = 0;  // BLOB/TEXT columns; a packed record then carries their total length
  std::vector<MyiColumn> myi_columns;
};

struct MyiReadResult {
  bool ok = false;
  bool has_columns = false;  // the stored-column table was read whole
  std::string error;
};

MyiReadResult ParseMyiHeader(ByteView bytes, MyiHeader& header);
MyiReadResult ReadMyiHeader(const std::filesystem::path& path, MyiHeader& header);

}  // namespace vostrel
