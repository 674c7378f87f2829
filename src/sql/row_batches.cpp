#include "sql/row_batches.h"

#include <algorithm>
#include <cstdlib>

namespace vostrel {

ExportTuning& GetExportTuning() {
  static ExportTuning tuning;
  return tuning;
}

unsigned ExportWorkerCount(uint64_t source_bytes) {
  if (source_bytes < GetExportTuning().threads_from) return 0;
  int w = GetExportTuning().workers;
  // The count can be set from outside, say to leave cores to other work.
  if (w < 0) {
    if (const char* e = std::getenv("VOSTREL_EXPORT_WORKERS"); e != nullptr && *e != '\0') {
      w = std::atoi(e);
    }
  }
  if (w >= 0) return static_cast<unsigned>(std::min(w, 64));
  // One core gains nothing from handing work to another thread.
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 1 ? std::min(cores, 8u) : 0;
}

}  // namespace vostrel
