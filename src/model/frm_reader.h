// Reads a .frm table definition into a TableDef.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "model/byte_view.h"
#include "model/collation_table.h"
#include "model/table_def.h"
#include "model/text_codec.h"

namespace vostrel {

struct FrmReadResult {
  bool ok = false;
  std::string error;                  // why the read failed
  std::vector<std::string> warnings;  // damage that was read around
};

// Largest .frm accepted; real ones are a few KB to a few hundred KB.
inline constexpr uint64_t kMaxFrmBytes = 64ull * 1024 * 1024;

// Parses .frm bytes. On failure `table` keeps the columns appended so far.
FrmReadResult ParseFrm(ByteView bytes, const CollationTable& collations, const CodePage& code_page,
                       TableDef& table);

FrmReadResult ReadTableDefinition(const std::filesystem::path& path,
                                  const CollationTable& collations, const CodePage& code_page,
                                  TableDef& table);

}  // namespace vostrel
