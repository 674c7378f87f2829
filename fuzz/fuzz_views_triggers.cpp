// View (.frm text) and trigger (.TRG) files: the same input read as both.
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vostrel::fuzz::RunViewsTriggers(data, size);
}
