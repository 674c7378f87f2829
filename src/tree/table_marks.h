// What the tree says about each table: which scan entry a report line
// belongs to, and the tooltip texts of a probe's and a save's findings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scan/recovery_report.h"
#include "scan/scan.h"

namespace vostrel {

// For each table of `report`, the index of its scan.m_tableEntries entry, or
// -1 when the scan lists no table of that database and name.
std::vector<int64_t> ReportEntryIndexes(const ScanResult& scan, const RecoveryReport& report);

// A probe after the scan: "can be read" or the state, with engine, row format,
// rows in the files and the reason.
std::string ProbeTip(const TableAccount& account);
// A save: "Saved: complete" or the state, rows recovered of rows in the files,
// rows refused and the reason.
std::string SaveTip(const TableAccount& account);

}  // namespace vostrel
