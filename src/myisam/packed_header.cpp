#include "myisam/packed_header.h"

#include <algorithm>

#include "model/value_text.h"
#include "myisam/bit_reader.h"

namespace vostrel {

namespace {

constexpr size_t kFixedHeader = 32;
// The quick table is kept small enough to stay in cache; longer codes walk on.
constexpr unsigned kMaxQuickBits = 11;

unsigned BitsFor(uint32_t value) {
  unsigned n = 1;
  while (value >>= 1) ++n;
  return n;
}

// Builds the quick table from a checked tree. Codes are at most quick_bits
// long along any path taken here, so the work is bounded by the table size.
void BuildQuickTable(HuffmanTree& t) {
  // The longest path: distances only point forward, so one pass in order sees
  // every pair after all pairs leading to it.
  const size_t size = t.nodes.size();
  std::vector<int32_t> depth(size, -1);
  depth[0] = 0;
  int32_t longest = 1;
  for (size_t p = 0; p + 1 < size; ++p) {
    if (depth[p] < 0) continue;
    for (size_t b = 0; b < 2; ++b) {
      const uint32_t v = t.nodes[p + b];
      if (v & HuffmanTree::kLeaf) {
        longest = std::max(longest, depth[p] + 1);
      } else {
        const size_t to = p + b + v;
        depth[to] = std::max(depth[to], depth[p] + 1);
      }
    }
  }
  const unsigned q = static_cast<unsigned>(std::min<int32_t>(longest, kMaxQuickBits));
  t.quick_bits = static_cast<uint8_t>(q);
  t.quick.assign(size_t{1} << q, 0);
  struct Step {
    uint32_t node;
    unsigned depth;
    uint32_t code;
  };
  std::vector<Step> stack{{0, 0, 0}};
  while (!stack.empty()) {
    const Step s = stack.back();
    stack.pop_back();
    for (uint32_t b = 0; b < 2; ++b) {
      const uint32_t v = t.nodes[s.node + b];
      const unsigned d = s.depth + 1;
      const uint32_t code = (s.code << 1) | b;
      if (v & HuffmanTree::kLeaf) {
        const uint32_t entry = (d << 24) | (v & ~HuffmanTree::kLeaf);
        const size_t first = size_t{code} << (q - d);
        std::fill_n(t.quick.begin() + static_cast<ptrdiff_t>(first), size_t{1} << (q - d), entry);
      } else if (d == q) {
        t.quick[code] = s.node + b + v;
      } else {
        stack.push_back(Step{s.node + b + v, d, code});
      }
    }
  }
}

bool ReadTree(BitReader& br, const std::vector<uint8_t>& bytes, HuffmanTree& t,
              std::vector<uint8_t>& intervals, std::string& error) {
  uint32_t min_value = 0;
  uint32_t interval_length = 0;
  t.values = br.GetBit();
  if (!t.values) {
    min_value = br.Get(8);
    t.elements = br.Get(9);
    if (t.elements > 256) {
      error = "a byte tree has " + std::to_string(t.elements) + " elements";
      return false;
    }
  } else {
    t.elements = br.Get(15);
    interval_length = br.Get(16);
  }
  const unsigned value_bits = br.Get(5);
  const unsigned offset_bits = br.Get(5);
  const size_t size = t.elements >= 1 ? size_t{t.elements} * 2 - 2 : 0;
  t.nodes.resize(size);
  for (size_t i = 0; i < size; ++i) {
    if (br.GetBit()) {
      const uint32_t off = br.Get(offset_bits);
      if (off == 0 || i + off + 1 >= size) {
        error = "a decode tree points outside itself";
        return false;
      }
      t.nodes[i] = off;
    } else {
      const uint64_t value = uint64_t{br.Get(value_bits)} + min_value;
      if (t.values ? value >= t.elements : value > 255) {
        error = "a decode tree holds an impossible value";
        return false;
      }
      t.nodes[i] = HuffmanTree::kLeaf | static_cast<uint32_t>(value);
    }
    if (br.overrun()) break;
  }
  br.AlignToByte();
  if (br.overrun()) {
    error = "decode trees run past the header";
    return false;
  }
  if (t.values) {
    const uint64_t at = br.consumed_bytes();
    if (interval_length > bytes.size() - at) {
      error = "distinct column values run past the header";
      return false;
    }
    t.interval_offset = static_cast<uint32_t>(intervals.size());
    t.interval_length = interval_length;
    intervals.insert(intervals.end(), bytes.begin() + static_cast<ptrdiff_t>(at),
                     bytes.begin() + static_cast<ptrdiff_t>(at + interval_length));
    br.SeekByte(static_cast<size_t>(at + interval_length));
  }
  if (t.decodes()) BuildQuickTable(t);
  return true;
}

bool ColumnKindKnown(uint8_t kind) {
  return kind <= kFieldCheck;
}

}  // namespace

PackedHeaderResult ReadPackedHeader(DataFile& file, const MyiHeader& myi, PackedTableInfo& info) {
  PackedHeaderResult r;
  info = PackedTableInfo{};
  uint8_t fixed[kFixedHeader];
  if (file.Read(0, kFixedHeader, fixed) != kFixedHeader) {
    r.error = "the data file is shorter than its compression header";
    return r;
  }
  if (fixed[0] != 0xFE || fixed[1] != 0xFE || fixed[2] != 0x08) {
    r.error = "the data file does not start with a compression header";
    return r;
  }
  info.version = fixed[3];
  if (info.version != 1 && info.version != 2) {
    r.unknown_format = true;
    r.error = "compression format version " + std::to_string(info.version);
    return r;
  }
  info.header_length = ReadUnsignedLe(fixed + 4, 4);
  info.min_pack_length = static_cast<uint32_t>(ReadUnsignedLe(fixed + 8, 4));
  info.max_pack_length = static_cast<uint32_t>(ReadUnsignedLe(fixed + 12, 4));
  const uint64_t elements = ReadUnsignedLe(fixed + 16, 4);
  const uint64_t interval_total = ReadUnsignedLe(fixed + 20, 4);
  const uint32_t tree_count = static_cast<uint32_t>(ReadUnsignedLe(fixed + 24, 2));
  info.ref_length = fixed[26];
  info.has_blobs = myi.blob_count > 0;
  if (info.header_length < kFixedHeader || info.header_length > file.size()) {
    r.error = "compression header length " + std::to_string(info.header_length) +
              " does not fit the data file";
    return r;
  }
  if (myi.myi_columns.empty()) {
    r.error = "the index file has no column table";
    return r;
  }
  if (tree_count == 0 || info.min_pack_length > info.max_pack_length) {
    r.error = "the compression header is damaged";
    return r;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(info.header_length - kFixedHeader));
  if (file.Read(kFixedHeader, bytes.size(), bytes.data()) != bytes.size()) {
    r.error = "the compression header cannot be read";
    return r;
  }
  BitReader br(bytes.data(), bytes.size());
  const unsigned tree_bits = BitsFor(tree_count - 1);
  info.columns.resize(myi.myi_columns.size());
  for (size_t i = 0; i < info.columns.size(); ++i) {
    PackedColumn& c = info.columns[i];
    c.kind = static_cast<uint8_t>(br.Get(5));
    c.pack_type = static_cast<uint8_t>(br.Get(6));
    c.length_bits = static_cast<uint8_t>(br.Get(5));
    c.tree = static_cast<uint16_t>(br.Get(tree_bits));
    c.length = myi.myi_columns[i].length;
    if (!ColumnKindKnown(c.kind)) {
      r.unknown_format = true;
      r.error = "column " + std::to_string(i + 1) + " is packed as type " + std::to_string(c.kind);
      return r;
    }
    if (c.tree >= tree_count) {
      r.error = "column " + std::to_string(i + 1) + " names a missing decode tree";
      return r;
    }
  }
  br.AlignToByte();
  if (br.overrun()) {
    r.error = "the column descriptions run past the compression header";
    return r;
  }
  info.trees.resize(tree_count);
  uint64_t element_sum = 0;
  for (HuffmanTree& t : info.trees) {
    if (!ReadTree(br, bytes, t, info.intervals, r.error)) return r;
    element_sum += t.elements;
  }
  if (br.consumed_bytes() != bytes.size() || element_sum != elements ||
      info.intervals.size() != interval_total) {
    r.error = "the decode trees do not match the compression header";
    return r;
  }
  // What each column needs from its tree is checked once here, not per record.
  for (size_t i = 0; i < info.columns.size(); ++i) {
    const PackedColumn& c = info.columns[i];
    const HuffmanTree& t = info.trees[c.tree];
    const std::string which = "column " + std::to_string(i + 1);
    bool fits = true;
    switch (c.kind) {
      case kFieldConstant:
        fits = t.values && t.interval_length >= c.length;
        break;
      case kFieldInterval:
        fits = t.values && t.decodes() && c.length > 0 &&
               uint64_t{t.interval_length} >= uint64_t{t.elements} * c.length;
        break;
      case kFieldZero:
      case kFieldCheck:
        break;
      case kFieldBlob:
        fits = !t.values && t.decodes() && c.length > 8 && c.length <= 12;
        break;
      case kFieldVarchar:
        fits = !t.values && t.decodes() && c.length >= 2;
        break;
      default:
        fits = !t.values && t.decodes() &&
               ((c.pack_type & kPackZeroFill) == 0 || c.length_bits <= c.length);
        break;
    }
    if (!fits) {
      r.error = which + " does not fit its decode tree";
      return r;
    }
  }
  r.ok = true;
  return r;
}

bool ReadPackedRecordHead(const PackedTableInfo& info, const uint8_t* p, size_t avail,
                          PackedRecordHead& head) {
  auto length = [&](size_t at, uint64_t& out) -> size_t {
    if (at >= avail) return 0;
    const uint8_t b = p[at];
    size_t n = b < 254 ? 1 : b == 254 ? 3 : info.version == 1 ? 4 : 5;
    if (avail - at < n) return 0;
    out = n == 1 ? b : ReadUnsignedLe(p + at + 1, n - 1);
    return n;
  };
  const size_t a = length(0, head.bits_length);
  if (a == 0) return false;
  head.blob_length = 0;
  size_t b = 0;
  if (info.has_blobs) {
    b = length(a, head.blob_length);
    if (b == 0) return false;
  }
  head.head_length = static_cast<uint32_t>(a + b);
  return true;
}

}  // namespace vostrel
