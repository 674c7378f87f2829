// An InnoDB table from one input: [u16 len][.frm][tablespace of 16 KiB pages].
// Finds the first leaf, walks the leaf chain and decodes every record with
// its off-page values, stopping and resuming inside pages like the preview.
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vostrel::fuzz::RunInnodb(data, size);
}
