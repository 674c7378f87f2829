// ROW_FORMAT=COMPRESSED index pages: the compressed page rebuilt into the
// 16 KiB compact-format page InnoDB itself works on, so that the record code
// (WalkPageRecords, SplitRecord, NodePointerKeyLength) reads it unchanged.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "innodb/clustered_fields.h"

namespace vostrel {

inline constexpr uint16_t kPageTypeZBlob = 11;   // first page of a compressed value
inline constexpr uint16_t kPageTypeZBlob2 = 12;  // its further pages
inline constexpr uint16_t kPageTypeRtree = 17854;

// One field of the field list a compressed page starts with. Runs of NOT NULL
// fixed-length fields are stored merged into one.
struct ZipField {
  uint16_t fixed_len = 0;  // 0: the record header holds the length
  bool not_null = false;
  bool big = false;  // variable and possibly longer than 255 bytes (two length bytes, off-page)
};

// What the page said about itself while it was rebuilt.
struct ZipPageLayout {
  static constexpr size_t kNone = static_cast<size_t>(-1);
  std::vector<uint8_t> field_info;  // the stored field list, as EncodeZipFields writes it
  std::vector<ZipField> fields;
  bool leaf = false;
  bool clustered = false;       // a leaf carrying DB_TRX_ID (clustered index)
  size_t trx_id_field = kNone;  // position of the DB_TRX_ID run among `fields`
  size_t nullable = 0;          // nullable fields of the index (null bitmap bits)
  size_t records = 0;           // records of the dense directory, deleted ones included
  size_t stream_records = 0;    // of those, found in the compressed stream (the rest: log only)
  size_t log_entries = 0;       // modification-log entries applied
  size_t blobs = 0;             // off-page references put back into records
};

// Rebuilds compressed pages; keeps its zlib state between pages.
class ZipPageDecompressor {
 public:
  ZipPageDecompressor();
  ~ZipPageDecompressor();
  ZipPageDecompressor(const ZipPageDecompressor&) = delete;
  ZipPageDecompressor& operator=(const ZipPageDecompressor&) = delete;

  // See DecompressIndexPage.
  bool Decompress(const uint8_t* zpage, size_t zip_size, uint8_t* out16k, std::string* problem,
                  ZipPageLayout* layout = nullptr);

 private:
  z_stream stream_{};
  bool stream_ready_ = false;
  std::vector<uint16_t> recs_;
  std::vector<uint16_t> start_, end_;
  std::vector<uint8_t> kind_;
  std::vector<uint16_t> freed_;
  std::vector<uint16_t> known_;
  std::vector<uint8_t> scratch_;
  ZipPageLayout layout_;
};

// Rebuilds the index page (FIL_PAGE_INDEX) `zpage` of `zip_size` bytes (1, 2,
// 4, 8 or 16 KiB) into out16k (16384 bytes), as InnoDB's page_zip_decompress
// does: header, infimum/supremum, the zlib stream of records, the sparse
// directory from the dense one, the uncompressed trailer (DB_TRX_ID and
// DB_ROLL_PTR, off-page references, child page numbers) and the modification
// log. The page's own field list drives it; no table definition is needed.
// False with `problem` naming why ("not read: ..." for pages of a kind this
// does not decode); out16k may then hold a partial image.
bool DecompressIndexPage(const uint8_t* zpage, size_t zip_size, uint8_t* out16k,
                         std::string* problem, ZipPageLayout* layout = nullptr);

// The field list InnoDB writes on compressed pages of this index: leaf pages
// (all fields, DB_TRX_ID position) or node-pointer pages (key fields, the
// index's nullable count). Compared with ZipPageLayout::field_info it tells
// whether a table definition describes the page.
std::vector<uint8_t> EncodeZipFields(const ClusteredIndex& index, bool leaf);

// True when `layout` is what `index` gives; else `problem` says how they differ.
bool ZipLayoutMatchesIndex(const ZipPageLayout& layout, const ClusteredIndex& index,
                           std::string* problem);

}  // namespace vostrel
