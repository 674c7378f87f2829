#include "innodb/image_reader.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "innodb/compact_fields.h"
#include "innodb/extern_value.h"
#include "innodb/instant_alter.h"
#include "innodb/leaf_scan.h"
#include "innodb/page_check.h"
#include "innodb/record.h"
#include "innodb/record_fit.h"
#include "innodb/redundant_fields.h"
#include "innodb/space_map.h"
#include "innodb/zip_blob.h"
#include "innodb/zip_checksum.h"

namespace vostrel {

namespace {

// Marks: the place of the page in the walk order, and (low 16 bits) the
// record the walk resumes at on it, 0 for its first.
uint64_t Mark(size_t k, uint32_t origin) {
  return (uint64_t{k} << 16) | origin;
}
size_t MarkPlace(uint64_t mark) {
  return static_cast<size_t>(mark >> 16);
}
uint32_t MarkOrigin(uint64_t mark) {
  return static_cast<uint32_t>(mark & 0xFFFF);
}

std::string PageName(const ImagePage& e) {
  return "page " + std::to_string(e.page) + " of tablespace " + std::to_string(e.space_id) +
         " (image byte " + std::to_string(e.offset) + ")";
}

}  // namespace

bool ImagePageStillWhole(const uint8_t* p, const ImagePage& found) {
  const FilHeader h = ReadFilHeader(p);
  if (h.page_number != found.page || h.space_id != found.space_id || PageU64(p, 16) != found.lsn)
    return false;
  // A compressed page comes rebuilt, its stored checksum's verdict in its trailer.
  return PageChecksumValid(p, found.zip_size != 0 ? PageLayout::kCompressed : PageLayout::kEither);
}

bool ReadImagePage(const ImageFile& image, const ImagePage& e, uint8_t* out16k,
                   ZipPageDecompressor& zip, std::vector<uint8_t>& raw) {
  if (e.zip_size == 0) return image.Read(e.offset, kPageSize, out16k) == kPageSize;
  raw.resize(e.zip_size);
  if (image.Read(e.offset, e.zip_size, raw.data()) != e.zip_size) return false;
  bool intact = ZipPageChecksumValid(raw.data(), e.zip_size);
  if (!intact || PageU16(raw.data(), 24) != kPageTypeIndex ||
      !zip.Decompress(raw.data(), e.zip_size, out16k, nullptr)) {
    // Its header still says what page it is; it reads as not whole.
    std::memcpy(out16k, raw.data(), std::min<size_t>(e.zip_size, kPageSize));
    if (e.zip_size < kPageSize) std::memset(out16k + e.zip_size, 0, kPageSize - e.zip_size);
    intact = false;
  }
  std::memcpy(out16k + kPageSize - 8, "VZIP", 4);
  out16k[kPageSize - 4] = intact ? 1 : 0;
  out16k[kPageSize - 3] = out16k[kPageSize - 2] = out16k[kPageSize - 1] = 0;
  return true;
}

namespace {

const ImagePage* FindPage(const std::vector<ImagePage>& pages, uint32_t space, uint32_t page) {
  const auto it = std::lower_bound(pages.begin(), pages.end(), std::pair{space, page},
                                   [](const ImagePage& e, const std::pair<uint32_t, uint32_t>& k) {
                                     return std::pair{e.space_id, e.page} < k;
                                   });
  if (it == pages.end() || it->space_id != space || it->page != page) return nullptr;
  return &*it;
}

}  // namespace

PageSource ImagePages(const ImageFile& image, uint32_t space_id,
                      const std::vector<ImagePage>& index_pages,
                      const std::vector<ImagePage>& value_pages) {
  PageSource s;
  s.space_id = space_id;
  s.page_count = kFilNull;
  s.file_name = "tablespace " + std::to_string(space_id) + " in " + image.path().string();
  s.read = [&image, &index_pages, &value_pages, space_id](uint32_t n, PageBuffer& out) {
    const ImagePage* e = FindPage(index_pages, space_id, n);
    if (e == nullptr) e = FindPage(value_pages, space_id, n);
    const std::string name =
        "page " + std::to_string(n) + " of tablespace " + std::to_string(space_id);
    if (e == nullptr) return name + " is not found whole in the image";
    if (image.Read(e->offset, kPageSize, out.data()) != kPageSize ||
        !ImagePageStillWhole(out.data(), *e)) {
      return name + " no longer reads whole at image byte " + std::to_string(e->offset);
    }
    return std::string();
  };
  return s;
}

class ImageBlockDecoder : public BlockDecoder {
 public:
  explicit ImageBlockDecoder(const ImageLeafReader& reader)
      : reader_(reader),
        compact_(reader.table_, reader.index_),
        redundant_(reader.table_, reader.index_) {}

  void Decode(RecordBlock& block, const FieldsVisitor& visit, DamageLog& damage) override {
    const bool instant = reader_.index_.instant();
    if (reader_.index_.redundant) {
      DecodeWith(block, visit, damage, redundant_, 6,
                 [instant](const uint8_t* page, size_t start, auto&& v) {
                   return WalkRedundantRecordsWith(page, start, v, instant);
                 });
    } else {
      DecodeWith(block, visit, damage, compact_, 5,
                 [instant](const uint8_t* page, size_t start, auto&& v) {
                   return WalkPageRecordsWith(page, start, v, instant);
                 });
    }
  }

 private:
  template <class Splitter, class Walk>
  void DecodeWith(RecordBlock& block, const FieldsVisitor& visit, DamageLog& damage,
                  Splitter& split, size_t info_byte, Walk&& walk) {
    constexpr uint8_t kInfoUnknownBits = 0xC0;
    block.unit_ok.assign(block.units, 0);
    for (size_t k = 0; k < block.units; ++k) {
      const uint8_t* page = reinterpret_cast<const uint8_t*>(block.bytes.data()) + k * kPageSize;
      const size_t place = MarkPlace(block.marks[k]);
      const uint32_t origin = MarkOrigin(block.marks[k]);
      const ImagePage& e = reader_.leaves_[reader_.order_[place]];
      // Read again since the scan: a device in use may have changed under it.
      if (!ImagePageStillWhole(page, e)) {
        block.claimed += e.records;
        damage.Name(PageName(e) + " no longer reads as the page the scan found: its " +
                    std::to_string(e.records) + " records are not saved");
        continue;
      }
      if (PageIsCompact(page) == reader_.index_.redundant) {
        block.claimed += e.records;
        damage.Name(PageName(e) + " keeps its records in the other row format: its " +
                    std::to_string(e.records) + " records are not saved");
        continue;
      }
      if (const std::string clash = RecordsOverrunEachOther(page, split, info_byte, walk, spans_);
          !clash.empty()) {
        block.claimed += e.records;
        damage.Name("the records of " + PageName(e) + " do not fit the table definition (" + clash +
                    "): the index is another one, or the definition another version; "
                    "its " +
                    std::to_string(e.records) + " records are not saved");
        continue;
      }
      block.unit_ok[k] = 1;
      bool stopped = false;
      size_t unknown = 0;
      const PageWalk w = walk(page, origin, [&](size_t r) {
        if (page[r - info_byte] & kInfoUnknownBits) {
          ++unknown;
          return true;
        }
        int32_t short_reference = -1;
        const std::vector<StoredField>* fields = split.Split(page, r, &short_reference);
        if (fields == nullptr) {
          damage.Name("record at offset " + std::to_string(r) + " of " + PageName(e) +
                      " does not fit its page or the table definition");
          return true;
        }
        if (short_reference >= 0) {
          damage.Note("column " +
                      reader_.table_.columns[static_cast<size_t>(short_reference)].name +
                      " has a short reference to its value pages");
        }
        if (!visit(RecordFields{fields->data(), fields->size(), RecordPosition{place + 1, r}})) {
          stopped = true;
          return false;
        }
        return true;
      });
      if (stopped) return;
      if (unknown != 0) {
        damage.Name("not read: " + std::to_string(unknown) + " records of " + PageName(e) +
                    " carry info bits this tool does not know");
      }
      if (w.damaged) damage.Name("record chain of " + PageName(e) + " is broken");
      if (origin != 0) continue;
      const uint64_t counted = PageRecordCount(page);
      block.claimed += counted - std::min<uint64_t>(counted, w.deleted + w.hidden);
    }
  }

  const ImageLeafReader& reader_;
  std::vector<std::pair<size_t, size_t>> spans_;
  CompactFieldSplitter compact_;
  RedundantFieldSplitter redundant_;
};

ImageLeafReader::ImageLeafReader(const ImageFile& image, const TableDef& table,
                                 const ClusteredIndex& index, std::vector<ImagePage> leaves,
                                 std::vector<ImagePage> values, const EngineContext& ctx)
    : image_(image),
      table_(table),
      index_(index),
      ctx_(ctx),
      leaves_(std::move(leaves)),
      values_(std::move(values)) {
  // The pages tell the record format; a page of the other one is named when read.
  size_t redundant = 0;
  for (const ImagePage& e : leaves_) redundant += !e.compact;
  index_.redundant = redundant * 2 > leaves_.size();
  // Per tablespace, the leaves in the order their links give.
  std::map<uint32_t, std::vector<size_t>> by_space;
  for (size_t i = 0; i < leaves_.size(); ++i) by_space[leaves_[i].space_id].push_back(i);
  for (const auto& [space, members] : by_space) {
    std::vector<ScannedLeaf> scanned;
    std::unordered_map<uint32_t, size_t> at;
    for (size_t i : members) {
      scanned.push_back({leaves_[i].page, leaves_[i].prev, leaves_[i].next});
      at.emplace(leaves_[i].page, i);
    }
    for (const std::vector<uint32_t>& chain : ChainScannedLeaves(scanned)) {
      ++chains_;
      for (uint32_t p : chain) order_.push_back(at[p]);
    }
    // Links to leaves the image does not hold: what they held is not read.
    for (size_t i : members) {
      const ImagePage& e = leaves_[i];
      for (const uint32_t link : {e.prev, e.next}) {
        if (link != kFilNull && !at.count(link)) {
          dangling_.push_back(PageName(e) + " links to page " + std::to_string(link) +
                              ", which is not found whole in the image: the rows it held are "
                              "not read");
        }
      }
    }
  }
  Seek(RecordPosition{});
}

std::vector<ColumnStorage> ImageLeafReader::storage() const {
  return InnodbColumnStorage(table_, index_);
}

void ImageLeafReader::Seek(const RecordPosition& from) {
  next_ = from.page == 0 ? 0 : static_cast<size_t>(from.page - 1);
}

bool ImageLeafReader::NextBlock(RecordBlock& block, size_t bytes) {
  const size_t pages = std::max<size_t>(1, bytes / kPageSize);
  const uint64_t before = block.units;
  while (block.units - before < pages && next_ < order_.size()) {
    const size_t k = next_++;
    const ImagePage& e = leaves_[order_[k]];
    char* slot = block.bytes.Reserve(kPageSize);
    if (!ReadImagePage(image_, e, reinterpret_cast<uint8_t*>(slot), zip_, zip_raw_)) {
      claimed_ += e.records;
      damage_.Name(PageName(e) + " cannot be read again: its " + std::to_string(e.records) +
                   " records are not saved");
      continue;
    }
    block.bytes.Commit(slot + kPageSize);
    block.marks.push_back(Mark(k, 0));
    ++block.units;
  }
  block.progress = next_;
  return block.units > before;
}

std::unique_ptr<BlockDecoder> ImageLeafReader::NewDecoder() const {
  return std::make_unique<ImageBlockDecoder>(*this);
}

size_t ImageLeafReader::ExternalPrefix(const StoredField& field) const {
  return field.length >= 20 ? field.length - 20 : 0;
}

const ImagePage* ImageLeafReader::ValuePage(uint32_t space, uint32_t page) const {
  return FindPage(values_, space, page);
}

bool ImageLeafReader::ReadExternal(const StoredField& field,
                                   const std::function<void(const uint8_t*, size_t)>& sink,
                                   std::string* problem) {
  if (field.length < 20) {
    if (problem) *problem = "a short reference to its value pages";
    return false;
  }
  const ExternRef ref = ParseExternRef(field.data + field.length - 20);
  if (const ImagePage* first = ValuePage(ref.space_id, ref.page); first && first->zip_size) {
    // A compressed table's value: one zlib stream over pages of its own size.
    const uint32_t zip_size = first->zip_size;
    const ZipBlobResult r = ReadZipBlob(
        [this, &ref, zip_size](uint32_t n, std::vector<uint8_t>& out) {
          const ImagePage* e = ValuePage(ref.space_id, n);
          if (e == nullptr || e->zip_size != zip_size) return false;
          out.resize(zip_size);
          return image_.Read(e->offset, zip_size, out.data()) == zip_size &&
                 ZipPageChecksumValid(out.data(), zip_size) && PageU32(out.data(), 4) == n;
        },
        zip_size, ref, values_.size() + 1, sink);
    if (!r.complete() && problem) {
      *problem = "not read: " + r.problem + " (value pages of tablespace " +
                 std::to_string(ref.space_id) + " not found whole in the image)";
    }
    return r.complete();
  }
  PageBuffer page;
  uint64_t left = ref.length;
  uint32_t p = ref.page;
  size_t off = ref.offset;
  std::unordered_set<uint32_t> seen;
  // Each value page is visited once at most: the walk is bounded by them.
  while (left > 0) {
    const ImagePage* e = p == kFilNull ? nullptr : ValuePage(ref.space_id, p);
    if (e == nullptr) {
      if (problem) {
        *problem = "not read: value page " + std::to_string(p) + " of tablespace " +
                   std::to_string(ref.space_id) + " is not found whole in the image (" +
                   std::to_string(left) + " bytes of the value missing)";
      }
      return false;
    }
    if (!seen.insert(p).second) {
      if (problem) *problem = "value page chain loops back to page " + std::to_string(p);
      return false;
    }
    if (image_.Read(e->offset, kPageSize, page.data()) != kPageSize ||
        !ImagePageStillWhole(page.data(), *e)) {
      if (problem) *problem = "not read: " + PageName(*e) + " no longer reads whole";
      return false;
    }
    if (off + 8 > kPageSize) {
      if (problem) *problem = "value part outside " + PageName(*e);
      return false;
    }
    uint64_t part = PageU32(page.data(), off);
    const uint32_t next = PageU32(page.data(), off + 4);
    if (part > kPageSize - off - 8) part = kPageSize - off - 8;
    if (part > left) part = left;
    if (part == 0) {
      if (problem) *problem = "empty value part on " + PageName(*e);
      return false;
    }
    sink(page.data() + off + 8, static_cast<size_t>(part));
    left -= part;
    p = next;
    off = kPageHeader;
  }
  return true;
}

void ImageLeafReader::Consumed(const RecordBlock& block) {
  claimed_ += block.claimed;
}

bool ImageLeafReader::Finish(uint64_t) {
  for (const std::string& d : dangling_) damage_.Name(d);
  if (chains_ > 1) {
    damage_.Note("the leaves found form " + std::to_string(chains_) +
                 " separate runs of linked pages: rows may be missing between them, or come "
                 "from older pages the index had left");
  }
  counted_ = RowCount{dangling_.empty() && !ctx_.stopped(), claimed_};
  return false;
}

// An index changed by instant ALTER TABLE: its root says how many fields the
// first records have, the metadata record on its first leaf the rest.
std::string ReadImageInstantLayout(const ImageFile& image, const ImageScanResult& r,
                                   const std::vector<ImagePage>& leaves, const TableDef& table,
                                   ClusteredIndex& index) {
  const ImagePage* root = nullptr;
  for (const ImagePage& e : r.index_pages) {
    if (e.type == kPageTypeInstant && !leaves.empty() && e.space_id == leaves[0].space_id &&
        (root == nullptr || e.level > root->level))
      root = &e;
  }
  const ImagePage* first = nullptr;
  for (const ImagePage& e : leaves) {
    if (root != nullptr && e.space_id == root->space_id && e.prev == kFilNull) first = &e;
  }
  if (root == nullptr || first == nullptr) {
    return "not read: changed by instant ALTER TABLE, and its root or first leaf, which keep "
           "the record layout, is not found whole";
  }
  index.redundant = !first->compact;
  PageBuffer page;
  if (image.Read(root->offset, kPageSize, page.data()) != kPageSize ||
      !ImagePageStillWhole(page.data(), *root)) {
    return "its root page no longer reads whole at image byte " + std::to_string(root->offset);
  }
  const InstantRoot instant = ReadInstantRoot(page.data());
  if (std::string why = BeginInstant(instant, index); !why.empty()) return why;
  return ReadInstantMetadata(ImagePages(image, root->space_id, r.index_pages, r.value_pages),
                             first->page, instant, table, index);
}

FreeLeaves TakeOutFreeLeaves(const ImageFile& image, const ImageScanResult& found,
                             std::vector<ImagePage>& leaves) {
  FreeLeaves f;
  if (leaves.empty()) return f;
  ExtentMap extents(ImagePages(image, leaves[0].space_id, found.index_pages, found.value_pages));
  std::vector<PageUse> use;
  size_t used = 0;
  for (const ImagePage& e : leaves) {
    use.push_back(e.space_id == leaves[0].space_id ? extents.Use(e.page) : PageUse::kUnknown);
    used += use.back() == PageUse::kUsed;
    f.unknown += use.back() == PageUse::kUnknown;
  }
  if (used == 0) {
    f.all_free = f.unknown < leaves.size();
    return f;
  }
  std::vector<ImagePage> kept;
  for (size_t i = 0; i < leaves.size(); ++i) {
    if (use[i] == PageUse::kFree) {
      f.records += leaves[i].records;
      f.left_out.push_back(leaves[i]);
    } else {
      kept.push_back(leaves[i]);
    }
  }
  leaves = std::move(kept);
  return f;
}

std::vector<ImagePage> TakeOutLeavesOffTheChain(std::vector<ImagePage>& leaves) {
  std::vector<ScannedLeaf> scanned;
  std::unordered_map<uint32_t, size_t> at;
  for (size_t i = 0; i < leaves.size(); ++i) {
    scanned.push_back({leaves[i].page, leaves[i].prev, leaves[i].next});
    at.emplace(leaves[i].page, i);
  }
  const std::vector<uint32_t>* whole = nullptr;
  size_t wholes = 0;
  const auto chains = ChainScannedLeaves(scanned);
  for (const std::vector<uint32_t>& c : chains) {
    if (leaves[at[c.front()]].prev == kFilNull && leaves[at[c.back()]].next == kFilNull) {
      whole = &c;
      ++wholes;
    }
  }
  if (wholes != 1 || chains.size() == 1) return {};
  std::unordered_set<uint32_t> on(whole->begin(), whole->end());
  std::vector<ImagePage> kept, left_out;
  for (const ImagePage& e : leaves) (on.count(e.page) ? kept : left_out).push_back(e);
  leaves = std::move(kept);
  return left_out;
}

}  // namespace vostrel
