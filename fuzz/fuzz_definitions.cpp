// SQL definitions files: statements split and parsed, tables laid out.
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vostrel::fuzz::RunDefinitions(data, size);
}
