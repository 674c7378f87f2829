#include "cli/scan_pages.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <ostream>

#include "innodb/clustered_fields.h"
#include "innodb/image_pages.h"
#include "innodb/image_reader.h"
#include "model/frm_reader.h"
#include "scan/recovery_report.h"
#include "sql/image_save.h"

namespace vostrel {

namespace fs = std::filesystem;

namespace {

std::string FormatName(const ImageIndexSummary& s) {
  if (s.zip_pages != 0) {
    return "Compressed (KEY_BLOCK_SIZE=" + std::to_string(s.zip_size / 1024) + ")" +
           (s.zip_pages != s.pages ? " and uncompressed pages" : "");
  }
  if (s.compact_pages != 0 && s.redundant_pages != 0) return "mixed compact and redundant pages";
  return s.redundant_pages != 0 ? "Redundant" : "Compact or Dynamic";
}

std::string SpaceList(const std::set<uint32_t>& spaces) {
  std::string s;
  size_t n = 0;
  for (uint32_t id : spaces) {
    if (n++ == 8) {
      s += ", ... (" + std::to_string(spaces.size()) + " in all)";
      break;
    }
    s += (s.empty() ? "" : ", ") + std::to_string(id);
  }
  return s;
}

void PrintListing(const ImageScanResult& r, uint64_t only, std::ostream& out) {
  // InnoDB numbers a table's indexes as it makes them: in a tablespace of
  // its own the lowest id is the clustered index, the one with the rows.
  std::map<uint32_t, uint64_t> lowest;
  for (const auto& [id, s] : r.indexes) {
    if (s.pages == 0) continue;
    for (uint32_t space : s.spaces) lowest.try_emplace(space, id);
  }
  out << "index id\tpages\tleaves\trecords\ttablespaces\trow format\tolder copies set "
         "aside\tfailing checksum\tnote\n";
  for (const auto& [id, s] : r.indexes) {
    if (s.pages == 0 || (only != 0 && id != only)) continue;
    const uint32_t space = *s.spaces.begin();
    const bool first = s.spaces.size() == 1 && space != 0 && lowest[space] == id;
    out << id << "\t" << s.pages << "\t" << s.leaves << "\t" << s.records << "\t"
        << SpaceList(s.spaces) << "\t" << FormatName(s)
        << (s.instant_pages ? " (instant ALTER)" : "") << "\t" << s.older_copies << "\t"
        << s.bad_checksum << "\t"
        << (first ? "lowest id found in its tablespace: likely the clustered index" : "") << "\n";
  }
}

void PrintTotals(const ImageScanResult& r, size_t listed, std::ostream& out) {
  uint64_t pages = 0;
  for (const auto& [id, s] : r.indexes) pages += s.pages;
  out << r.bytes_scanned << " of " << r.image_bytes << " bytes scanned: " << pages
      << " index pages whole, of " << listed << " indexes\n";
  if (r.older_copies != 0) {
    out << r.older_copies
        << " older copies of pages found again (same tablespace and page number) were set "
           "aside: of each page the copy with the highest LSN is kept\n";
  }
  if (r.bad_checksum != 0) {
    out << r.bad_checksum
        << " index pages fail their checksum and are not read (counted above by the index id "
           "their header names)\n";
  }
  if (r.value_bad_checksum != 0) {
    out << r.value_bad_checksum << " value pages fail their checksum and are not read\n";
  }
  if (r.compressed_pages != 0) {
    out << "not read: " << r.compressed_pages << " pages of MariaDB page compression\n";
  }
  for (const auto& [size, n] : r.other_page_sizes) {
    out << "not read: " << n << " tablespace header pages name " << size / 1024
        << " KiB pages; only 16 KiB pages are looked for\n";
  }
}

struct Definition {
  TableDef table;
  std::string database;
  std::string name;
  std::string where;
  std::string error;
};

Definition LoadDefinition(const ScanPagesRequest& req, const EngineContext& ctx) {
  Definition d;
  if (!req.frm.empty()) {
    const FrmReadResult fr = ReadTableDefinition(req.frm, ctx.collations, ctx.code_page, d.table);
    if (!fr.ok || d.table.columns.empty()) {
      d.error = "table definition " + req.frm +
                " cannot be read: " + (fr.ok ? std::string("no columns") : fr.error);
      return d;
    }
    const fs::path p(req.frm);
    d.name = p.stem().string();
    d.database = p.parent_path().filename().string();
    d.where = req.frm;
    return d;
  }
  const SqlDefinitionSet& set = *req.definitions;
  const SqlDefinition* pick = nullptr;
  if (!req.table.empty()) {
    const size_t dot = req.table.find('.');
    pick = dot == std::string::npos ? set.Find("", req.table)
                                    : set.Find(req.table.substr(0, dot), req.table.substr(dot + 1));
    if (pick == nullptr && dot == std::string::npos) {
      for (const SqlDefinition& s : set.tables) {
        if (s.declared.name == req.table) pick = &s;
      }
    }
    if (pick == nullptr) {
      d.error = set.path + " holds no CREATE TABLE statement for " + req.table;
      return d;
    }
  } else if (set.tables.size() == 1) {
    pick = &set.tables[0];
  } else {
    d.error = set.path + " holds " + std::to_string(set.tables.size()) +
              " CREATE TABLE statements: name the table whose rows the index holds (DB.TABLE)";
    return d;
  }
  const TableDefBuild b = BuildDefinitionTable(set, *pick, ctx.collations, 0, d.table);
  if (!b.ok) {
    d.error = "the statement at " + pick->where + " cannot be used: " + b.error;
    return d;
  }
  d.name = pick->declared.name;
  d.database = pick->declared.database;
  // A dump of one database names none: the name asked for does.
  if (d.database.empty() && req.table.find('.') != std::string::npos) {
    d.database = req.table.substr(0, req.table.find('.'));
  }
  d.where = pick->where;
  return d;
}

}  // namespace

int RunScanPages(const ScanPagesRequest& req, EngineContext& ctx, std::ostream& out) {
  ImageFile image;
  std::string error;
  if (!image.Open(req.image, &error)) {
    ctx.out.ReportProblem(error);
    return 1;
  }
  const bool recover = req.index_id != 0 && (req.definitions != nullptr || !req.frm.empty());
  // The definition first: a statement that cannot be used must not cost a scan.
  Definition def;
  if (recover) {
    def = LoadDefinition(req, ctx);
    if (!def.error.empty()) {
      ctx.out.ReportProblem(def.error);
      return 2;
    }
  }
  ImageScanOptions options;
  options.keep_index = req.index_id;
  options.keep_value_pages = recover;
  options.stop = ctx.stop;
  options.progress = [&ctx](uint64_t done, uint64_t total) { ctx.out.SetProgress(done, total); };
  ctx.out.WriteLogText("Scanning " + req.image + " for InnoDB pages\r\n");
  const auto start = std::chrono::steady_clock::now();
  ctx.out.ShowProgress(true);
  const ImageScanResult r = ScanImagePages(image, options);
  ctx.out.ShowProgress(false);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  size_t listed = 0;
  for (const auto& [id, s] : r.indexes) listed += s.pages != 0;
  PrintListing(r, req.index_id, out);
  PrintTotals(r, listed, out);
  char speed[64];
  std::snprintf(speed, sizeof speed, "%.1f s, %.0f MB/s", seconds,
                seconds > 0 ? r.bytes_scanned / seconds / 1e6 : 0.0);
  ctx.out.WriteLogText("Scanned " + std::to_string(r.bytes_scanned) + " bytes in " + speed +
                       "\r\n");
  int rc = 0;
  if (!r.error.empty()) {
    ctx.out.ReportProblem(r.error);
    rc = 1;
  }
  if (r.stopped) {
    ctx.out.ReportProblem("the scan was stopped before the end of the image");
    rc = 1;
  }
  // A table asked for is accounted for by name whatever stops its rows.
  auto not_read = [&](const std::string& why) {
    ctx.out.ReportProblem(why);
    if (recover) {
      TableAccount account;
      account.database = def.database.empty() ? "recovered" : def.database;
      account.table = def.name;
      account.engine = "InnoDB";
      account.NotRead(why);
      out << RecoveryReport{{account}}.Text();
    }
    return 1;
  };
  if (listed == 0) return not_read("no InnoDB index page found whole in " + req.image);
  if (req.index_id == 0) return rc;
  const auto it = r.indexes.find(req.index_id);
  if (it == r.indexes.end() || it->second.pages == 0) {
    return not_read("no page of index " + std::to_string(req.index_id) + " found whole in " +
                    req.image);
  }
  if (!recover) return rc;

  const ImageIndexSummary& s = it->second;
  // Index ids are numbered per server: two servers' files on one disk may
  // share one, and their rows must not be mixed.
  if (s.spaces.size() > 1 && req.space_id == kFilNull) {
    ctx.out.ReportProblem("pages of index " + std::to_string(req.index_id) + " name tablespaces " +
                          SpaceList(s.spaces) + ": give --space-id N for the one of the table");
    return 2;
  }
  std::vector<ImagePage> leaves;
  for (const ImagePage& e : r.index_pages) {
    if (e.level == 0 && (req.space_id == kFilNull || e.space_id == req.space_id))
      leaves.push_back(e);
  }
  if (leaves.empty()) {
    return not_read("no leaf page of index " + std::to_string(req.index_id) +
                    (req.space_id == kFilNull ? std::string()
                                              : " in tablespace " + std::to_string(req.space_id)) +
                    " found whole in " + req.image + ": its rows are not read");
  }
  if (!req.all_leaves) {
    const FreeLeaves free = TakeOutFreeLeaves(image, r, leaves);
    if (!free.left_out.empty()) {
      std::string pages;
      for (size_t i = 0; i < free.left_out.size() && i < 10; ++i)
        pages += (i ? ", " : "") + std::to_string(free.left_out[i].page);
      if (free.left_out.size() > 10) pages += ", ...";
      const std::string line =
          std::to_string(free.left_out.size()) + " leaf pages (" + pages + ") holding " +
          std::to_string(free.records) +
          " records are left out: the extent descriptors of "
          "tablespace " +
          std::to_string(free.left_out[0].space_id) +
          " mark them free while other leaves are in use, so they are what the index left "
          "behind (older versions of rows); --all-leaves reads them too";
      out << line << "\n";
      ctx.out.WriteLogText(line + "\r\n");
    } else if (free.all_free) {
      out << "every leaf is marked free by the extent descriptors of its tablespace: the table "
             "was dropped; its rows are read from them\n";
    }
    const std::vector<ImagePage> off = TakeOutLeavesOffTheChain(leaves);
    if (!off.empty()) {
      uint64_t records = 0;
      std::string pages;
      for (size_t i = 0; i < off.size(); ++i) {
        records += off[i].records;
        if (i < 10) pages += (i ? ", " : "") + std::to_string(off[i].page);
      }
      if (off.size() > 10) pages += ", ...";
      const std::string line =
          std::to_string(off.size()) + " leaf pages (" + pages + ") holding " +
          std::to_string(records) +
          " records are left out: they are not on the one whole chain of linked leaves, from "
          "the first to the last, so they are what the index left behind (older versions of "
          "rows); --all-leaves reads them too";
      out << line << "\n";
      ctx.out.WriteLogText(line + "\r\n");
    }
  }
  ClusteredIndex index = BuildClusteredIndexFromTableDef(def.table, ctx.collations);
  if (s.instant_pages != 0) {
    const std::string why = ReadImageInstantLayout(image, r, leaves, def.table, index);
    if (!why.empty()) return not_read("index " + std::to_string(req.index_id) + ": " + why);
  }
  index.id = req.index_id;
  ImageLeafReader reader(image, def.table, index, std::move(leaves), r.value_pages, ctx);
  const std::string database = def.database.empty() ? "recovered" : def.database;
  const std::string origin = "-- Rows from the leaf pages of index " +
                             std::to_string(req.index_id) + " found in " + req.image +
                             "; definition from " + def.where + "\r\n";
  const ImageSaveResult saved =
      SaveImageTable(reader, def.table, database, def.name, origin, req.script_dir, ctx);
  for (const std::string& e : saved.errors) ctx.out.ReportProblem(e);
  out << RecoveryReport{{saved.account}}.Text();
  if (reader.chains() > 1) {
    out << "the leaves form " << reader.chains()
        << " runs of linked pages: rows between them may be missing, or come from pages the "
           "index had left\n";
  }
  out << "script written to " << saved.script_path.string() << "\n";
  if (!saved.report_path.empty()) out << "report written to " << saved.report_path.string() << "\n";
  return saved.success() ? rc : 1;
}

}  // namespace vostrel
