// The schema statements of the selected objects, laid out as a script save
// writes them: tables, and in the full form their foreign keys at the end of
// each database, the views and the triggers.
#pragma once

#include <ostream>
#include <vector>

#include "model/collation_table.h"
#include "model/text_codec.h"
#include "scan/recovery_output.h"
#include "scan/scan.h"
#include "scan/selection.h"

namespace vostrel {

struct DdlSummary {
  int tables_written = 0;
  int tables_failed = 0;
  std::vector<std::string> errors;
};

DdlSummary WriteDdlScript(const ScanResult& scan, const std::vector<SelectedItem>& items,
                          const CollationTable& collations, const CodePage& code_page,
                          RecoveryOutput& out, std::ostream& script, bool reduced = false);

}  // namespace vostrel
