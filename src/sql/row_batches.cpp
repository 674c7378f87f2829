#include "sql/row_batches.h"

#include <algorithm>
#include <cstdlib>

#include "sql/script_sink.h"

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

void SendRows(RowSink& sink, RowChunk& chunk, uint64_t& rows, uint64_t& rejected,
              std::string& first_error, RecoveryOutput& out) {
  if (chunk.ends.empty()) return;
  if (auto* script = dynamic_cast<ScriptSink*>(&sink)) {
    if (script->WriteRows(chunk.text)) rows += chunk.ends.size();
    chunk.Clear();
    return;
  }
  size_t start = 0;
  for (const size_t end : chunk.ends) {
    if (sink.broken()) break;
    const std::string_view statement(chunk.text.data() + start, end - start);
    start = end;
    if (sink.ExecuteRow(statement)) {
      ++rows;
    } else if (!sink.script_form() && !sink.broken()) {
      ++rejected;
      if (first_error.empty()) first_error = sink.last_error();
      out.WriteLogText("row not inserted after " + std::to_string(static_cast<uint32_t>(rows)) +
                       "  row no.\r\n");
    }
  }
  chunk.Clear();
}

}  // namespace vostrel
