// One line of a CSV table's data file, split into its fields the way the
// server's CSV engine reads them: "quoted" or bare values separated by
// commas, with \" \\ \n \r escapes; values are left as their text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/table_def.h"

namespace vostrel {

// Where each field's text lies in `scratch` (unescaped).
struct CsvFields {
  std::string scratch;
  std::vector<std::pair<size_t, size_t>> spans;  // offset, length in scratch
};

// Splits `line` (without its line end) into `columns` fields. False, with
// `why`, when the line does not hold that many well-formed fields.
bool SplitCsvLine(std::string_view line, size_t columns, CsvFields& out, std::string* why);

// Whether `text` is a value of `column`'s type as the server prints it
// (numbers, dates and times; every other type takes any text).
bool CsvValueFits(const ColumnDef& column, std::string_view text);

// Where the next line ends in `data` from `pos` (the server's line ends: LF,
// CR LF, a lone CR): its end and the length of the line end; npos when the
// data ends first.
size_t FindCsvLineEnd(std::string_view data, size_t pos, size_t* end_length);

}  // namespace vostrel
