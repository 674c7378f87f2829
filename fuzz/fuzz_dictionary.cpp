// ibdata1's dictionary from one input taken as a tablespace, then the
// clustered field list of every table it lists; every page of the input also
// goes through the redundant-record walk on its own.
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vostrel::fuzz::RunDictionary(data, size);
}
