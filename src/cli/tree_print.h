// The object tree as `scan` prints it: one line per node, indented by depth,
// each table with its engine, row format and whether its rows can be read.
#pragma once

#include <ostream>
#include <vector>

#include "scan/recovery_report.h"
#include "scan/scan.h"

namespace vostrel {

// `tables` holds the account of each entry of scan.m_tableEntries, in order.
void PrintScanTree(const ScanResult& scan, const std::vector<TableAccount>& tables,
                   std::ostream& os);

}  // namespace vostrel
