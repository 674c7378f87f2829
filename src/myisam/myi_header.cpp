#include "myisam/myi_header.h"

#include "model/data_file.h"

namespace vostrel {

namespace {

uint16_t Be16(ByteView v, size_t off) {
  return static_cast<uint16_t>((v.u8(off) << 8) | v.u8(off + 1));
}
uint32_t Be32(ByteView v, size_t off) {
  return (uint32_t{v.u8(off)} << 24) | (uint32_t{v.u8(off + 1)} << 16) |
         (uint32_t{v.u8(off + 2)} << 8) | v.u8(off + 3);
}
uint64_t Be64(ByteView v, size_t off) {
  return (uint64_t{Be32(v, off)} << 32) | Be32(v, off + 4);
}

constexpr size_t kBaseInfoSize = 100;
constexpr size_t kKeyDefSize = 12;
constexpr size_t kKeySegSize = 18;
constexpr size_t kUniqueDefSize = 4;
constexpr size_t kColumnDefSize = 7;
// A MyISAM row image is at most 64 KiB (slack for the flag bytes); a column
// table adding up to more is damage, and would make every record cost that much memory.
constexpr uint64_t kMaxRowImage = 65536 + 4096;

}  // namespace

MyiReadResult ParseMyiHeader(ByteView v, MyiHeader& h) {
  MyiReadResult r;
  if (v.size() <= 24) {
    r.error = "index file is too short";
    return r;
  }
  h = MyiHeader{};
  h.options = Be16(v, 4);
  if (v.fits(24, 52)) {
    h.open_count = Be16(v, 24);
    h.live_rows = Be64(v, 28);
    h.data_file_length = Be64(v, 68);
  }
  if (v.fits(92, 8)) h.auto_increment = Be64(v, 92);
  if (v.fits(100, 8)) {
    h.table_checksum = Be32(v, 104);
  }
  h.row_format = (h.options & 4) ? kRowCompressed : (h.options & 1) ? kRowDynamic : kRowFixed;
  const size_t base = Be16(v, 12);
  const uint8_t uniques = v.u8(19);
  r.ok = true;
  if (!v.fits(base, kBaseInfoSize)) {
    r.error = "base information lies beyond the end of the index file";
    return r;
  }
  h.records = Be64(v, base + 24);
  h.record_length = Be32(v, base + 44);
  h.packed_row_length = Be32(v, base + 48);
  h.min_packed_length = Be32(v, base + 52);
  h.field_count = Be32(v, base + 64);
  h.key_count = v.u8(base + 74);
  h.flag_bytes = Be16(v, base + 76);
  h.blob_count = Be16(v, base + 78);

  size_t pos = base + kBaseInfoSize;
  for (uint32_t k = 0; k < h.key_count; ++k) {
    if (!v.fits(pos, kKeyDefSize)) {
      r.error = "key definitions are cut off";
      return r;
    }
    const size_t segs = v.u8(pos);
    pos += kKeyDefSize + segs * kKeySegSize;
  }
  for (uint32_t u = 0; u < uniques; ++u) {
    if (!v.fits(pos, kUniqueDefSize)) {
      r.error = "unique constraints are cut off";
      return r;
    }
    const size_t segs = Be16(v, pos);
    pos += kUniqueDefSize + segs * kKeySegSize;
  }
  if (!v.fits(pos, size_t{h.field_count} * kColumnDefSize)) {
    r.error = "stored-column table is cut off";
    return r;
  }
  h.myi_columns.reserve(h.field_count);
  uint64_t row_image = 0;
  for (uint32_t c = 0; c < h.field_count; ++c, pos += kColumnDefSize) {
    MyiColumn col;
    col.kind = static_cast<int16_t>(Be16(v, pos));
    col.length = Be16(v, pos + 2);
    col.null_bit = v.u8(pos + 4);
    col.null_pos = Be16(v, pos + 5);
    row_image += col.length;
    h.myi_columns.push_back(col);
  }
  if (row_image > kMaxRowImage) {
    h.myi_columns.clear();
    r.error = "stored-column table adds up to " + std::to_string(row_image) + " bytes per row";
    return r;
  }
  r.has_columns = true;
  return r;
}

MyiReadResult ReadMyiHeader(const std::filesystem::path& path, MyiHeader& header) {
  DataFile f;
  MyiReadResult r;
  if (!f.Open(path, &r.error)) return r;
  // The header, base information and column table sit in the first block,
  // within 64 KiB for any table the server could create; a bigger prefix is
  // read only when they run past it.
  MyiReadResult parsed;
  std::vector<uint8_t> bytes;
  for (const uint64_t prefix : {uint64_t{64} << 10, uint64_t{4} << 20}) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(f.size(), prefix));
    bytes.resize(want);
    bytes.resize(f.Read(0, want, bytes.data()));
    parsed = ParseMyiHeader(ByteView(bytes.data(), bytes.size()), header);
    if (parsed.has_columns || want == f.size()) break;
  }
  return parsed;
}

}  // namespace vostrel
