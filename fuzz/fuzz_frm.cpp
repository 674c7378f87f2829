// .frm bytes into a table definition, and the InnoDB field list derived from it.
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vostrel::fuzz::RunFrm(data, size);
}
