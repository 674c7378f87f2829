// A record as a table reader hands it over: per column of the table, the
// bytes the engine stored and what they are. Nothing here knows an output
// form; a field decoder and a value writer make text of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vostrel {

enum class FieldState : uint8_t {
  kInline,    // the value's bytes are all here
  kNull,      // SQL NULL
  kExternal,  // a local prefix and a reference to pages elsewhere (InnoDB off-page)
  kAbsent,    // no stored field fills the column (a damaged or odd layout)
};

struct StoredField {
  const uint8_t* data = nullptr;
  uint32_t length = 0;
  FieldState state = FieldState::kAbsent;

  std::string_view bytes() const { return {reinterpret_cast<const char*>(data), length}; }
};

// Where a record starts: for MyISAM page 0 and a byte offset in the data
// file; for InnoDB a page number and a record origin in it. The reader that
// gave it is the only one that reads it.
struct RecordPosition {
  uint64_t page = 0;
  uint64_t offset = 0;
  bool operator==(const RecordPosition&) const = default;
};

struct RecordFields {
  const StoredField* fields = nullptr;  // one per table column
  size_t count = 0;
  RecordPosition position;
};

// How an engine stores the numbers of a column: the bytes of integers, of
// ENUM/SET indexes and of the pre-5.6 temporal types differ between them.
enum class NumberForm : uint8_t {
  kLittleEndian,      // MyISAM, as the server's record image holds them
  kBigEndianFlipped,  // InnoDB: big-endian, the sign bit of signed ones inverted
  kInnodbOther,       // InnoDB field of a non-integer main type (by the column's own type)
  // The value is its own text, as the server printed it (CSV): numbers and
  // temporal values go out as that text once the reader has checked it is
  // one; characters, BLOBs and BIT are their bytes, as in a record image.
  kText,
};

struct ColumnStorage {
  NumberForm form = NumberForm::kLittleEndian;
  bool is_unsigned = false;  // as the engine keeps the number (InnoDB: from its own type)
  // InnoDB keeps short BLOB/TEXT values in the page; a preview shows them whole.
  bool inline_blobs_whole = false;
};

}  // namespace vostrel
