// A MyISAM table from one input: [u16 len][.frm][u16 len][.MYI][.MYD ...].
// The walk stops and resumes the way the preview pages through a table.
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vostrel::fuzz::RunMyisam(data, size);
}
