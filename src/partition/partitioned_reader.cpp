#include "partition/partitioned_reader.h"

#include <algorithm>

#include "innodb/page.h"
#include "model/file_util.h"
#include "scan/table_readers.h"

namespace vostrel {

namespace fs = std::filesystem;

namespace {

bool SameStorage(const std::vector<ColumnStorage>& a, const std::vector<ColumnStorage>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].form != b[i].form || a[i].is_unsigned != b[i].is_unsigned ||
        a[i].inline_blobs_whole != b[i].inline_blobs_whole) {
      return false;
    }
  }
  return true;
}

// The partitions' engine when the .frm does not name it: by their files.
uint8_t EngineOfFiles(const fs::path& folder, const PartitionList& list) {
  for (const PartitionPart& p : list.parts) {
    if (!FindFileIgnoringCase(folder, p.file_stem + ".ibd").empty()) return kEngineInnoDb;
    if (!FindFileIgnoringCase(folder, p.file_stem + ".MYD").empty()) return kEngineMyIsam;
    if (!FindFileIgnoringCase(folder, p.file_stem + ".MAD").empty()) return kEngineAria;
  }
  return 0;
}

std::string Lowered(std::string s) {
  if (!s.empty() && s[0] >= 'A' && s[0] <= 'Z') s[0] = static_cast<char>(s[0] - 'A' + 'a');
  return s;
}

}  // namespace

class PartitionedDecoder : public BlockDecoder {
 public:
  explicit PartitionedDecoder(const PartitionedReader& reader)
      : reader_(reader), decoders_(reader.parts_.size()) {}

  void Decode(RecordBlock& block, const FieldsVisitor& visit, DamageLog& damage) override {
    const size_t k = block.part;
    if (k >= decoders_.size() || reader_.parts_[k].reader == nullptr) return;
    if (decoders_[k] == nullptr) decoders_[k] = reader_.parts_[k].reader->NewDecoder();
    const uint64_t high = uint64_t{k} << PartitionedReader::kPartShift;
    uint64_t n = 0;
    DamageLog own;
    decoders_[k]->Decode(
        block,
        [&](const RecordFields& r) {
          ++n;
          RecordFields moved = r;
          moved.position.page |= high;
          return visit(moved);
        },
        own);
    block.records = n;
    if (own.any()) {
      const std::string label = reader_.PartLabel(reader_.parts_[k]);
      own.first = label + own.first;
      if (own.first_at != UINT64_MAX) own.first_at |= uint64_t{k} << 48;
      for (std::string& l : own.lines) l = label + l;
      damage.Merge(own);
    }
  }

 private:
  const PartitionedReader& reader_;
  std::vector<std::unique_ptr<BlockDecoder>> decoders_;
};

OpenedReader PartitionedReader::Open(const std::string& folder, const std::string& stem,
                                     const TableDef& table, SystemDictionary* dictionary,
                                     const EngineContext& ctx, RecoveryOutput& log) {
  OpenedReader o;
  const PartitionList list = ReadPartitionList(folder, stem);
  if (list.parts.empty()) {
    o.not_read =
        "partitioned table: no partition is known (no .par file, no partition clause "
        "in its .frm and no partition files)";
    for (const std::string& p : list.problems) o.not_read += "; " + p;
    return o;
  }
  std::unique_ptr<PartitionedReader> r(new PartitionedReader());
  r->path_ = (fs::path(folder) / stem).string();
  r->part_def_ = table;
  uint8_t engine = list.part_engine;
  if (engine == 0 || engine == kEnginePartition) engine = EngineOfFiles(folder, list);
  r->part_def_.engine_type = engine;

  std::vector<std::string> lost;  // partitions whose rows are not read, and why
  std::vector<std::string> facts;
  std::string first_not_read;
  std::string first_note;
  size_t notes = 0;
  bool all_known = true;
  for (const PartitionPart& spec : list.parts) {
    Part part;
    part.spec = spec;
    OpenedReader p = OpenTableReaderAt(folder, spec.file_stem, r->part_def_, dictionary, ctx, log);
    const std::string label = "partition " + spec.name;
    if (p.reader == nullptr) {
      if (!p.not_read.empty()) {
        lost.push_back(label + ": " + p.not_read);
        if (first_not_read.empty()) first_not_read = p.not_read;
        all_known = false;
      } else {
        ++notes;
        if (first_note.empty()) first_note = p.note;
      }
      r->parts_.push_back(std::move(part));
      continue;
    }
    const std::vector<ColumnStorage> s = p.reader->storage();
    if (r->storage_.empty()) {
      r->storage_ = s;
      o.row_format = p.row_format;
      o.source = p.source;
    } else if (!SameStorage(s, r->storage_)) {
      lost.push_back(label +
                     ": not read: it keeps its columns in another form than the "
                     "partitions before it");
      all_known = false;
      r->parts_.push_back(std::move(part));
      continue;
    }
    if (!p.damage.empty()) lost.push_back(label + ": " + p.damage);
    if (!p.detail.empty()) facts.push_back(label + ": " + p.detail);
    all_known = all_known && p.expected_known;
    o.expected += p.expected;
    o.last_auto_increment = std::max(o.last_auto_increment, p.last_auto_increment);
    if (engine == kEngineInnoDb && p.source == OpenedReader::Source::kTablespaceFile) {
      Tablespace space;
      const fs::path ibd = FindFileIgnoringCase(folder, spec.file_stem + ".ibd");
      if (!ibd.empty() && space.Open(ibd, nullptr)) part.space_id = space.space_id();
    } else if (p.source == OpenedReader::Source::kSystemTablespace) {
      part.space_id = 0;
    }
    part.reader = std::move(p.reader);
    r->parts_.push_back(std::move(part));
  }
  for (const std::string& l : list.leftovers) {
    facts.push_back("partition files " + l +
                    ".* are left from an interrupted ALTER TABLE; "
                    "they are not read");
  }
  for (const std::string& p : list.problems) facts.push_back(p);

  auto join = [](const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& x : v) s += (s.empty() ? "" : "; ") + x;
    return s;
  };
  const bool any_reader = std::any_of(r->parts_.begin(), r->parts_.end(),
                                      [](const Part& p) { return p.reader != nullptr; });
  if (!any_reader) {
    if (!lost.empty()) {
      // One unknown format for all of them reads as that format's own words.
      o.not_read = lost.size() == list.parts.size() && first_not_read.rfind("not read:", 0) == 0
                       ? first_not_read + " (every partition)"
                       : "no partition can be read: " + join(lost);
    } else {
      o.note = first_note;
    }
    return o;
  }
  o.damage = join(lost);
  o.detail = join(facts);
  o.expected_known = all_known;
  // The parts' own counts, known after their walks; a part not read has none.
  r->counts_known_ = std::all_of(r->parts_.begin(), r->parts_.end(),
                                 [](const Part& p) { return p.reader != nullptr; }) ||
                     notes + std::count_if(r->parts_.begin(), r->parts_.end(),
                                           [](const Part& p) { return p.reader != nullptr; }) ==
                         r->parts_.size();
  r->Seek(RecordPosition{});
  o.reader = std::move(r);
  return o;
}

std::string PartitionedReader::PartLabel(const Part& p) const {
  return "partition " + p.spec.name + " (" + (p.reader ? Lowered(p.reader->subject()) : "") + "): ";
}

void PartitionedReader::StartPart(size_t k, const RecordPosition& from) {
  current_ = k;
  if (k < parts_.size() && parts_[k].reader) parts_[k].reader->Seek(from);
}

void PartitionedReader::Seek(const RecordPosition& from) {
  const size_t k = static_cast<size_t>(from.page >> kPartShift);
  const RecordPosition inner{from.page & ((uint64_t{1} << kPartShift) - 1), from.offset};
  for (Part& p : parts_) p.rows = 0;
  if (k >= parts_.size()) {
    current_ = parts_.size();
    return;
  }
  StartPart(k, inner);
}

void PartitionedReader::TakeDamage(Part& p) {
  if (!p.reader || !p.reader->damage().any()) return;
  DamageLog d = std::move(p.reader->damage());
  p.reader->damage() = DamageLog{};
  const std::string label = PartLabel(p);
  d.first = label + d.first;
  if (d.first_at != UINT64_MAX) {
    d.first_at |= uint64_t{static_cast<size_t>(&p - parts_.data())} << 48;
  }
  for (std::string& l : d.lines) l = label + l;
  damage_.Merge(d);
}

bool PartitionedReader::NextBlock(RecordBlock& block, size_t bytes) {
  if (!offsets_known_) {
    // Counting an InnoDB partition's leaves walks its tree: only when rows are read.
    uint64_t before = 0;
    for (Part& p : parts_) {
      p.progress_before = before;
      if (p.reader) before += p.reader->progress_total();
    }
    offsets_known_ = true;
  }
  while (current_ < parts_.size()) {
    Part& p = parts_[current_];
    if (p.reader) {
      const bool got = p.reader->NextBlock(block, bytes);
      if (preview_) TakeDamage(p);
      if (got) {
        block.part = static_cast<uint32_t>(current_);
        block.progress += p.progress_before;
        return true;
      }
      // A save lets the part's Finish see its whole walk before the next part.
      if (!preview_) return false;
    }
    StartPart(current_ + 1, RecordPosition{});
  }
  return false;
}

bool PartitionedReader::Finish(uint64_t) {
  while (current_ < parts_.size()) {
    Part& p = parts_[current_];
    if (p.reader) {
      const bool more = p.reader->Finish(p.rows);
      TakeDamage(p);
      if (more) return true;
    }
    StartPart(current_ + 1, RecordPosition{});
    if (current_ < parts_.size()) return true;
  }
  return false;
}

void PartitionedReader::Consumed(const RecordBlock& block) {
  if (block.part >= parts_.size()) return;
  Part& p = parts_[block.part];
  p.rows += block.records;
  if (p.reader) p.reader->Consumed(block);
}

std::unique_ptr<BlockDecoder> PartitionedReader::NewDecoder() const {
  return std::make_unique<PartitionedDecoder>(*this);
}

bool PartitionedReader::ReadExternal(const StoredField& field,
                                     const std::function<void(const uint8_t*, size_t)>& sink,
                                     std::string* problem) {
  // InnoDB references name their tablespace in their first four bytes.
  if (field.length >= 20) {
    const uint8_t* ref = field.data + field.length - 20;
    const uint32_t space =
        (uint32_t{ref[0]} << 24) | (uint32_t{ref[1]} << 16) | (uint32_t{ref[2]} << 8) | ref[3];
    for (Part& p : parts_) {
      if (p.reader && p.space_id == space) return p.reader->ReadExternal(field, sink, problem);
    }
    if (problem) {
      *problem = "the value refers to tablespace " + std::to_string(space) +
                 ", which none of the partitions is";
    }
    return false;
  }
  for (Part& p : parts_) {
    if (p.reader) return p.reader->ReadExternal(field, sink, problem);
  }
  return false;
}

size_t PartitionedReader::ExternalPrefix(const StoredField& field) const {
  for (const Part& p : parts_) {
    if (p.reader) return p.reader->ExternalPrefix(field);
  }
  return 0;
}

RowCount PartitionedReader::counted() const {
  RowCount c{counts_known_, 0};
  for (const Part& p : parts_) {
    if (!p.reader) continue;
    const RowCount pc = p.reader->counted();
    c.known = c.known && pc.known;
    c.rows += pc.rows;
  }
  return c;
}

uint64_t PartitionedReader::source_bytes() const {
  uint64_t n = 0;
  for (const Part& p : parts_) {
    if (p.reader) n += p.reader->source_bytes();
  }
  return n;
}

uint64_t PartitionedReader::progress_total() const {
  uint64_t n = 0;
  for (const Part& p : parts_) {
    if (p.reader) n += p.reader->progress_total();
  }
  return n;
}

bool PartitionedReader::ends_rows_with_commit() const {
  for (const Part& p : parts_) {
    if (p.reader) return p.reader->ends_rows_with_commit();
  }
  return false;
}

void PartitionedReader::ForPreview() {
  preview_ = true;
  for (Part& p : parts_) {
    if (p.reader) p.reader->ForPreview();
  }
}

}  // namespace vostrel
