// The compression header at the start of a myisampack'd data file: how each
// column was packed, the Huffman decode trees and the distinct column values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/data_file.h"
#include "myisam/myi_header.h"

namespace vostrel {

// Pack-type flags of a column.
enum PackTypeFlag : uint8_t {
  kPackSelected = 1,     // a bit tells whether the space count follows
  kPackSpaceFields = 2,  // a bit tells whether the field is all spaces
  kPackZeroFill = 4,     // the last `length_bits` bytes are zeros, not stored
};

struct PackedColumn {
  uint8_t kind = 0;  // MyiFieldKind as myisampack chose it
  uint8_t pack_type = 0;
  uint8_t length_bits = 0;  // bits of a length or space count; the zero-fill byte count
  uint16_t tree = 0;
  uint16_t length = 0;  // bytes in the record image, from the index file
};

// One decode tree. Entries come in pairs (the 0 and 1 branch); an entry is a
// leaf value (kLeaf set) or the forward distance from itself to the next pair.
// Every distance was checked to be non-zero and to land on a whole pair, so
// a walk down the tree only moves forward and ends.
struct HuffmanTree {
  static constexpr uint32_t kLeaf = 0x80000000u;
  bool values = false;  // leaves index distinct column values; else they are bytes
  uint32_t elements = 0;
  std::vector<uint32_t> nodes;
  // The first `quick_bits` bits of a code looked up at once: a leaf as
  // (code length << 24 | value), or (length 0) the pair where the walk goes on.
  uint8_t quick_bits = 0;
  std::vector<uint32_t> quick;
  uint32_t interval_offset = 0;  // its distinct values in PackedTableInfo::intervals
  uint32_t interval_length = 0;

  bool decodes() const { return nodes.size() >= 2; }
};

// Immutable once read: the walker and any number of unpackers share one.
struct PackedTableInfo {
  uint8_t version = 0;           // 1: long lengths take three bytes; 2: four
  uint64_t header_length = 0;    // where the first record starts
  uint32_t min_pack_length = 0;  // of a record's packed bits, without its length header
  uint32_t max_pack_length = 0;
  uint8_t ref_length = 0;  // the longest record length header
  bool has_blobs = false;  // records then carry their total blob length too
  std::vector<PackedColumn> columns;
  std::vector<HuffmanTree> trees;
  std::vector<uint8_t> intervals;
};

struct PackedHeaderResult {
  bool ok = false;
  bool unknown_format = false;  // a version this reader does not know: "not read", not damage
  std::string error;
};

// Reads the header of `file`, whose column lengths the index file gives.
PackedHeaderResult ReadPackedHeader(DataFile& file, const MyiHeader& myi, PackedTableInfo& info);

// A record's length header: the packed bits' length and, with blobs, the
// total length of the record's blob values.
struct PackedRecordHead {
  uint32_t head_length = 0;
  uint64_t bits_length = 0;
  uint64_t blob_length = 0;
};
// False when `avail` bytes do not hold the whole header.
bool ReadPackedRecordHead(const PackedTableInfo& info, const uint8_t* p, size_t avail,
                          PackedRecordHead& head);

}  // namespace vostrel
