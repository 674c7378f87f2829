// The rows of one clustered index whose leaf pages were found in an image
// (ScanImagePages), read with a table definition given apart: a dropped
// table's pages on a disk, a tablespace whose dictionary is lost.
//
// Leaves are walked per tablespace in the order their links give; values kept
// on other pages are read from the value pages found in the same image.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "innodb/clustered_fields.h"
#include "innodb/extern_value.h"
#include "innodb/image_pages.h"
#include "innodb/zip_page.h"
#include "model/engine_context.h"
#include "model/table_def.h"
#include "model/table_reader.h"

namespace vostrel {

class ImageLeafReader : public TableReader {
 public:
  // `leaves` are the newest copies of the index's leaf pages; `values` the
  // value pages, as ScanImagePages keeps them (sorted by space and page).
  // The record format is the one most leaves have.
  ImageLeafReader(const ImageFile& image, const TableDef& table, const ClusteredIndex& index,
                  std::vector<ImagePage> leaves, std::vector<ImagePage> values,
                  const EngineContext& ctx);

  std::vector<ColumnStorage> storage() const override;
  void Seek(const RecordPosition& from) override;
  bool NextBlock(RecordBlock& block, size_t bytes) override;
  std::unique_ptr<BlockDecoder> NewDecoder() const override;
  bool ReadExternal(const StoredField& field,
                    const std::function<void(const uint8_t*, size_t)>& sink,
                    std::string* problem) override;
  size_t ExternalPrefix(const StoredField& field) const override;
  void Consumed(const RecordBlock& block) override;
  bool Finish(uint64_t rows_read) override;
  RowCount counted() const override { return counted_; }
  std::string subject() const override { return "Image " + image_.path().string(); }
  uint64_t source_bytes() const override { return order_.size() * kPageSize; }
  uint64_t progress_total() const override { return order_.size(); }

  // Runs of leaves linked to each other; more than one means links lead to
  // pages the image does not hold, or the index has stale leaves.
  size_t chains() const { return chains_; }
  const ClusteredIndex& index() const { return index_; }

 private:
  const ImagePage* ValuePage(uint32_t space, uint32_t page) const;

  const ImageFile& image_;
  const TableDef& table_;
  ClusteredIndex index_;
  const EngineContext& ctx_;
  std::vector<ImagePage> leaves_;
  std::vector<ImagePage> values_;
  std::vector<size_t> order_;  // into leaves_, in walk order
  size_t chains_ = 0;
  std::vector<std::string> dangling_;  // links to pages not in the image
  size_t next_ = 0;
  ZipPageDecompressor zip_;  // for the walk only
  std::vector<uint8_t> zip_raw_;
  uint64_t claimed_ = 0;
  RowCount counted_;

  friend class ImageBlockDecoder;
};

// Whether the bytes are still the page the scan found: checksum and identity.
bool ImagePageStillWhole(const uint8_t* page, const ImagePage& found);

// The page `e` as a 16 KiB image: a compressed one rebuilt (its trailer then
// says whether its stored checksum held, as Tablespace's images do). False
// when it cannot be read.
bool ReadImagePage(const ImageFile& image, const ImagePage& e, uint8_t* out16k,
                   ZipPageDecompressor& zip, std::vector<uint8_t>& raw);

// Pages of tablespace `space_id` among those found (each list sorted by space
// and page, as ScanImagePages keeps them), read again from the image. The
// lists and the image must outlive the source.
PageSource ImagePages(const ImageFile& image, uint32_t space_id,
                      const std::vector<ImagePage>& index_pages,
                      const std::vector<ImagePage>& value_pages);

// Leaves the extent descriptors of their tablespace (found in the image)
// mark free, while others of the index are in use: pages a merge or split
// left behind, whose records are older versions of rows. Those are taken out
// of `leaves` (all of one tablespace) and listed. When every leaf is free —
// the table was dropped — none is taken out.
struct FreeLeaves {
  std::vector<ImagePage> left_out;
  uint64_t records = 0;  // what the left-out leaves hold
  bool all_free = false;
  size_t unknown = 0;  // leaves whose descriptor page is not found whole
};
FreeLeaves TakeOutFreeLeaves(const ImageFile& image, const ImageScanResult& found,
                             std::vector<ImagePage>& leaves);

// Leaves off the one whole chain of the index: when exactly one run of
// linked leaves goes from a first leaf (no previous page) to a last one (no
// next page), the index is all there, and other leaves are pages it left
// behind (merged, split, or reused since: compressed tablespaces keep no
// extent map this reads). Those are taken out of `leaves` (all of one
// tablespace) and returned.
std::vector<ImagePage> TakeOutLeavesOffTheChain(std::vector<ImagePage>& leaves);

// The record layout of an index changed by instant ALTER TABLE (pages of type
// 18 among `found`): its root tells the fields of the first records, the
// metadata record on its first leaf the rest. Gives `index` that layout, or
// says why the records cannot be read.
std::string ReadImageInstantLayout(const ImageFile& image, const ImageScanResult& found,
                                   const std::vector<ImagePage>& leaves, const TableDef& table,
                                   ClusteredIndex& index);

}  // namespace vostrel
