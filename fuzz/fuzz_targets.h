// One function per harness: the whole handling of one fuzzer input. Broken
// invariants (unbounded values, walks going backwards) abort.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vostrel::fuzz {

// .frm bytes.
int RunFrm(const uint8_t* data, size_t size);
// [u16 length][.frm][u16 length][.MYI][.MYD]
int RunMyisam(const uint8_t* data, size_t size);
// [u16 length][.frm][tablespace]
int RunInnodb(const uint8_t* data, size_t size);
// A system tablespace (ibdata1).
int RunDictionary(const uint8_t* data, size_t size);
// A view definition or trigger file.
int RunViewsTriggers(const uint8_t* data, size_t size);
// A definitions file: SQL text with CREATE TABLE statements.
int RunDefinitions(const uint8_t* data, size_t size);

}  // namespace vostrel::fuzz
