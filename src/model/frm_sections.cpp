#include "model/frm_sections.h"

namespace vostrel {

namespace {

constexpr uint8_t kExtra2TabledefVersion = 0;
constexpr uint8_t kExtra2DefaultPartEngine = 1;
constexpr uint8_t kExtra2IndexFlags = 5;
constexpr uint8_t kExtra2EngineImportant = 128;
constexpr uint8_t kExtra2EngineTableOptions = 128;
constexpr uint8_t kExtra2FieldFlags = 129;
constexpr uint8_t kExtra2FieldDataTypeInfo = 130;

constexpr uint16_t kOptionPackKeys = 0x0002;
constexpr uint16_t kOptionChecksum = 0x0020;
constexpr uint16_t kOptionDelayKeyWrite = 0x0040;
constexpr uint16_t kOptionNoPackKeys = 0x0080;
constexpr uint16_t kOptionStatsPersistent = 0x1000;
constexpr uint16_t kOptionNoStatsPersistent = 0x2000;
constexpr uint16_t kOptionTextCreateOptions = 0x4000;

// Expression kinds of the MariaDB expression section.
constexpr uint8_t kVcolVirtual = 0;
constexpr uint8_t kVcolStored = 1;
constexpr uint8_t kVcolDefault = 2;
constexpr uint8_t kVcolCheckField = 3;
constexpr uint8_t kVcolCheckTable = 4;

}  // namespace

std::string RowFormatName(uint8_t code) {
  switch (code) {
    case 1:
      return "FIXED";
    case 2:
      return "DYNAMIC";
    case 3:
      return "COMPRESSED";
    case 4:
      return "REDUNDANT";
    case 5:
      return "COMPACT";
    case 6:
      return "PAGE";
    // Percona's TokuDB codes; its aliases FAST, SMALL and DEFAULT show as what they mean.
    case 7:
      return "TOKUDB_UNCOMPRESSED";
    case 8:
    case 14:
      return "TOKUDB_ZLIB";
    case 9:
      return "TOKUDB_SNAPPY";
    case 10:
    case 12:
      return "TOKUDB_QUICKLZ";
    case 11:
    case 13:
      return "TOKUDB_LZMA";
    default:
      return {};
  }
}

bool ReadExtra2(ByteView file, size_t length, FrmExtra2& out, std::vector<std::string>& warnings) {
  const ByteView e2 = file.sub(64, length);
  if (e2.size() < length) {
    warnings.push_back("extra2 section is cut off");
    return false;
  }
  if (length == 0 || e2.u8(0) == '/') return true;  // older files keep no extra2 here
  size_t pos = 0;
  while (pos + 3 <= e2.size()) {
    const uint8_t type = e2.u8(pos++);
    size_t len = e2.u8(pos++);
    if (len == 0) {
      if (pos + 2 > e2.size()) break;
      len = e2.u16le(pos);
      pos += 2;
    }
    if (len == 0 || !e2.fits(pos, len)) {
      warnings.push_back("extra2 section is damaged at byte " + std::to_string(64 + pos));
      return false;
    }
    const ByteView value = e2.sub(pos, len);
    switch (type) {
      case kExtra2FieldFlags:
        out.field_flags = value;
        break;
      case kExtra2IndexFlags:
        out.index_flags = value;
        break;
      case kExtra2EngineTableOptions:
        out.engine_options = value;
        break;
      case kExtra2DefaultPartEngine:
        out.default_partition_engine.assign(value.text(0, value.size()));
        break;
      case kExtra2TabledefVersion:
      case kExtra2FieldDataTypeInfo:
        break;
      default:
        if (type >= kExtra2EngineImportant) {
          warnings.push_back("not read: extra2 item " + std::to_string(type));
        }
        break;
    }
    pos += len;
  }
  return true;
}

void ReadHeaderOptions(ByteView file, ByteView form, const CodePage& cp, TableDef& table) {
  TableOptions& o = table.options;
  const uint16_t create = table.create_options;
  o.checksum = (create & kOptionChecksum) != 0;
  o.delay_key_write = (create & kOptionDelayKeyWrite) != 0;
  if (create & kOptionPackKeys) o.pack_keys = 1;
  if (create & kOptionNoPackKeys) o.pack_keys = 0;
  if (create & kOptionStatsPersistent) o.stats_persistent = 1;
  if (create & kOptionNoStatsPersistent) o.stats_persistent = 0;
  o.max_rows = file.u32le(18);
  o.min_rows = file.u32le(22);
  o.key_block_size = file.u16le(62);
  if (file.u8(32) == 0) {  // the fields below exist since MySQL 3.23
    o.avg_row_length = file.u32le(34);
    const uint8_t aria = file.u8(39);
    if ((aria & 3) != 0) o.transactional = (aria & 3) == 2 ? 1 : 0;
    if (((aria >> 2) & 3) != 0) o.page_checksum = ((aria >> 2) & 3) == 2 ? 1 : 0;
    o.row_format = RowFormatName(file.u8(40));
    o.stats_sample_pages = file.u16le(42);
    const uint8_t recalc = file.u8(44);
    if (recalc == 1) o.stats_auto_recalc = 1;
    if (recalc == 2) o.stats_auto_recalc = 0;
  }
  const uint8_t comment_length = form.u8(46);
  if (comment_length != 255 && comment_length != 0) {
    o.comment = DecodeStoredText(form.text(47, comment_length), cp);
  }
  if (o.engine_name.empty()) o.engine_name = EngineName(table.engine_type);
}

void ReadExtraSegment(ByteView seg, uint8_t form_comment_length, const CodePage& cp,
                      TableDef& table, std::vector<std::string>& warnings) {
  TableOptions& o = table.options;
  size_t pos = 0;
  const size_t end = seg.size();
  auto cut = [&](const char* what) {
    warnings.push_back(std::string("extra segment ends inside the ") + what);
  };
  if (end < 2) return;
  const size_t connect = seg.u16le(0);
  if (!seg.fits(2, connect)) return cut("connection string");
  o.connection = DecodeStoredText(seg.text(2, connect), cp);
  pos = 2 + connect;
  if (pos + 2 < end) {
    const size_t n = seg.u16le(pos);
    if (!seg.fits(pos + 2, n)) return cut("engine name");
    const std::string engine(seg.text(pos + 2, n));
    if (!engine.empty() && engine != "partition") o.engine_name = engine;
    pos += 2 + n;
  }
  if (pos + 5 < end) {
    const size_t n = seg.u32le(pos);
    if (!seg.fits(pos + 4, n)) return cut("partition clause");
    o.partition_clause = DecodeStoredText(seg.text(pos + 4, n), cp);
    pos += 5 + n;
  }
  if (table.mysql_version >= 50110 && pos < end) ++pos;  // auto-partitioned flag
  for (KeyDef& key : table.keys) {
    if (!(key.flags & kKeyFlagUsesParser)) continue;
    size_t q = pos;
    while (q < end && seg.u8(q) != 0) ++q;
    if (q >= end) return cut("FULLTEXT parser names");
    key.parser.assign(seg.text(pos, q - pos));
    pos = q + 1;
  }
  if (form_comment_length == 255) {
    if (pos + 2 > end) return cut("table comment");
    const size_t n = seg.u16le(pos);
    if (!seg.fits(pos + 2, n)) return cut("table comment");
    o.comment = DecodeStoredText(seg.text(pos + 2, n), cp);
    pos += 2 + n;
  }
  if ((table.create_options & kOptionTextCreateOptions) && pos + 4 <= end) {
    const size_t n = seg.u32le(pos);
    if (!seg.fits(pos + 4, n)) return cut("engine-defined options");
    ReadEngineOptions(seg.sub(pos + 4, n), table, warnings);
  }
}

void ReadEngineOptions(ByteView opts, TableDef& table, std::vector<std::string>& warnings) {
  size_t pos = 0;
  std::string text;
  while (pos < opts.size() && opts.u8(pos) != 0) {
    const size_t name_len = opts.u8(pos);
    if (!opts.fits(pos + 1, name_len + 2)) {
      warnings.push_back("engine-defined table options are cut off");
      break;
    }
    const std::string_view name = opts.text(pos + 1, name_len);
    const uint16_t raw = opts.u16le(pos + 1 + name_len);
    const bool quoted = (raw & 0x8000) != 0;
    const size_t value_len = raw & 0x7FFF;
    const size_t value_pos = pos + 3 + name_len;
    if (!opts.fits(value_pos, value_len)) {
      warnings.push_back("engine-defined table options are cut off");
      break;
    }
    const std::string_view value = opts.text(value_pos, value_len);
    text += " `";
    for (char c : name) {
      text.push_back(c);
      if (c == '`') text.push_back('`');
    }
    text += "`=";
    if (quoted) {
      text.push_back('\'');
      for (char c : value) {
        if (c == '\'' || c == '\\') text.push_back(c == '\'' ? '\'' : '\\');
        text.push_back(c);
      }
      text.push_back('\'');
    } else {
      text.append(value);
    }
    pos = value_pos + value_len;
  }
  table.options.engine_options = text;
  if (pos + 1 < opts.size()) {
    // Column and index options follow; a byte other than the terminators means some exist.
    for (size_t p = pos + 1; p < opts.size(); ++p) {
      if (opts.u8(p) != 0) {
        warnings.push_back("not read: engine-defined column or index options");
        break;
      }
    }
  }
}

void ReadExpressions(ByteView s, TableDef& table, std::vector<std::string>& warnings) {
  size_t pos = 0;
  int entries = 0;
  while (pos < s.size()) {
    if (!s.fits(pos, 6) || ++entries > 65536) {
      warnings.push_back("expression section is cut off");
      return;
    }
    const uint8_t type = s.u8(pos);
    const uint16_t field = s.u16le(pos + 1);
    const size_t expr_len = s.u16le(pos + 3);
    const size_t name_len = s.u8(pos + 5);
    pos += 6;
    if (!s.fits(pos, name_len + expr_len)) {
      warnings.push_back("expression section is cut off");
      return;
    }
    const std::string name(s.text(pos, name_len));
    const std::string expr(s.text(pos + name_len, expr_len));
    pos += name_len + expr_len;
    if (type == kVcolCheckTable) {
      table.checks.push_back({name, expr});
      continue;
    }
    if (field >= table.columns.size()) {
      warnings.push_back("expression for column " + std::to_string(field) + " that does not exist");
      continue;
    }
    ColumnDef& c = table.columns[field];
    switch (type) {
      case kVcolVirtual:
      case kVcolStored:
        c.generated = type == kVcolVirtual ? Generated::kVirtual : Generated::kStored;
        c.generation_expression = expr;
        break;
      case kVcolDefault:
        c.default_value = {ColumnDefault::Kind::kExpression, expr};
        break;
      case kVcolCheckField:
        c.check_expression = expr;
        break;
      default:
        warnings.push_back("not read: expression of kind " + std::to_string(type) + " for column " +
                           c.name);
        break;
    }
  }
}

}  // namespace vostrel
