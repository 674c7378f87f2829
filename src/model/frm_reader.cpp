#include "model/frm_reader.h"

#include <algorithm>
#include <cctype>

#include "model/charset_names.h"
#include "model/file_util.h"
#include "model/frm_defaults.h"
#include "model/frm_sections.h"
#include "model/merge_union.h"
#include "sql/sql_literals.h"

namespace vostrel {

namespace {

constexpr size_t kHeaderSize = 64;
constexpr size_t kFormInfoSize = 288;
constexpr uint32_t kPackInterval = 0x0100;
constexpr uint32_t kPackBitfield = 0x0200;
constexpr uint32_t kPackBlob = 0x0400;
constexpr uint32_t kPackGeometry = 0x0800;
constexpr uint8_t kReverseSortPart = 0x80;
constexpr uint8_t kMysql57GeneratedField = 0x80;
constexpr uint8_t kVisibilityMask = 3;
constexpr uint8_t kInvisibleUser = 1;
constexpr size_t kVcolBaseHeader = 16;

// One text list: separator byte, entries each closed by the separator, then NUL.
// Returns the offset just past the list.
size_t SplitTextList(ByteView v, size_t pos, size_t end, std::vector<std::string_view>& out) {
  if (pos >= end) return end;
  const uint8_t sep = v.u8(pos);
  if (sep == 0) return pos + 1;
  size_t p = pos + 1;
  while (p < end && v.u8(p) != 0) {
    size_t q = p;
    while (q < end && v.u8(q) != sep) ++q;
    if (q >= end) {  // unterminated entry: the list is cut short
      out.push_back(v.text(p, q - p));
      return end;
    }
    out.push_back(v.text(p, q - p));
    p = q + 1;
  }
  return std::min(end, p + 1);
}

bool HexDecode(std::string_view hex, std::string& out) {
  if (hex.size() % 2 != 0) return false;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  out.clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<char>(hi * 16 + lo));
  }
  return true;
}

// ENUM/SET members are stored in the column's own character set; sets with
// characters wider than one byte are stored as hex.
std::string DecodeMember(std::string_view raw, const CollationEntry* coll, const CodePage& cp) {
  if (coll == nullptr) return DecodeStoredText(raw, cp);
  const char* iconv_name = IconvNameForCharset(coll->charset_name);
  if (coll->mbminlen > 1) {
    std::string bytes;
    if (iconv_name != nullptr && HexDecode(raw, bytes)) return ConvertToUtf8(bytes, iconv_name, cp);
    return DecodeStoredText(raw, cp);
  }
  if (IsUtf8Charset(coll->charset_name)) return DecodeStoredText(raw, cp);
  if (coll->charset_name == "binary") return std::string(raw);
  if (iconv_name != nullptr) return ConvertToUtf8(raw, iconv_name, cp);
  return DecodeStoredText(raw, cp);
}

int32_t FractionalDigits(int32_t type, int32_t length) {
  int32_t base;
  switch (type) {
    case kTypeTime:
    case kTypeTime2:
      base = 10;
      break;
    case kTypeTimestamp:
    case kTypeTimestamp2:
    case kTypeDateTime:
    case kTypeDateTime2:
      base = 19;
      break;
    default:
      return 0;
  }
  const int32_t digits = length - base - 1;
  return digits >= 1 && digits <= 6 ? digits : 0;
}

// The pack flags carry the length-prefix size as the code of the integer type
// of that size: TINY 1, SHORT 2, INT24 3 bytes, LONG 4 bytes.
int32_t BlobTypeFromPackLength(uint32_t pack_flags, int32_t type) {
  switch ((pack_flags >> 3) & 0x0F) {
    case kTypeTiny:
      return kTypeTinyBlob;
    case kTypeShort:
      return kTypeBlob;
    case kTypeInt24:
      return kTypeMediumBlob;
    case kTypeLong:
      return kTypeLongBlob;
    default:
      return type;
  }
}

// Files older than MySQL 4.1 keep no type byte: the pack flags say what the
// column is, the way the server itself reads them.
int32_t OldFormType(uint32_t pack_flags, int32_t length, uint32_t interval_nr,
                    bool packed_records) {
  const int32_t packtype = static_cast<int32_t>((pack_flags >> 3) & 0x0F);
  if (pack_flags & kPackNumber) return packtype;
  // Strings of four or more bytes in tables with variable-length rows were VARCHAR.
  if (packtype == 0) return packed_records && length >= 4 ? kTypeVarString : kTypeString;
  if (pack_flags & kPackGeometry) return kTypeGeometry;
  if (pack_flags & kPackBlob) return BlobTypeFromPackLength(pack_flags, kTypeBlob);
  if (interval_nr > 0) return (pack_flags & kPackInterval) ? kTypeEnum : kTypeSet;
  return packtype;
}

void ParseKeys(ByteView keys, bool new_key_entries, bool new_key_parts, const CodePage& cp,
               TableDef& table, FrmReadResult& result) {
  if (keys.size() < 6) {
    if (keys.size() > 0) result.warnings.push_back("key section is truncated");
    return;
  }
  uint32_t key_count;
  uint32_t part_total;
  if (keys.u8(0) & 0x80) {
    key_count = (uint32_t{keys.u8(1)} << 7) | (keys.u8(0) & 0x7F);
    part_total = keys.u16le(2);
  } else {
    key_count = keys.u8(0);
    part_total = keys.u8(1);
  }
  (void)part_total;
  size_t pos = 6;
  const size_t entry_size = new_key_entries ? 8 : 4;
  const size_t part_size = new_key_parts ? 9 : 7;
  for (uint32_t k = 0; k < key_count; ++k) {
    if (!keys.fits(pos, entry_size)) {
      result.warnings.push_back("key section ends inside key " + std::to_string(k + 1));
      return;
    }
    KeyDef key;
    if (new_key_entries) {
      key.flags = keys.u16le(pos) ^ 1;
      key.key_length = keys.u16le(pos + 2);
      key.part_count = keys.u8(pos + 4);
      key.algorithm = keys.u8(pos + 5);
      key.block_size = keys.u16le(pos + 6);
    } else {
      key.flags = keys.u8(pos) ^ 1;
      key.key_length = keys.u16le(pos + 1);
      key.part_count = keys.u8(pos + 3);
    }
    pos += entry_size;
    for (uint32_t p = 0; p < key.part_count; ++p) {
      if (!keys.fits(pos, part_size)) {
        result.warnings.push_back("key section ends inside key " + std::to_string(k + 1));
        table.keys.push_back(std::move(key));
        return;
      }
      KeyPart part;
      part.field_number = keys.u16le(pos) & 0x3FFF;
      part.offset = static_cast<uint16_t>(keys.u16le(pos + 2) - 1);
      if (new_key_parts) {
        part.part_flag = keys.u8(pos + 4);
        part.key_type = keys.u16le(pos + 5);
        part.length = keys.u16le(pos + 7);
      } else {
        part.length = keys.u8(pos + 4);
        part.key_type = keys.u16le(pos + 5);
        if (part.length > 128) {
          part.length &= 127;
          part.part_flag = 128;
        }
      }
      key.parts.push_back(part);
      pos += part_size;
    }
    table.keys.push_back(std::move(key));
  }
  std::vector<std::string_view> names;
  pos = SplitTextList(keys, pos, keys.size(), names);
  for (size_t k = 0; k < table.keys.size() && k < names.size(); ++k) {
    table.keys[k].name = DecodeStoredText(names[k], cp);
  }
  if (names.size() < table.keys.size()) result.warnings.push_back("key names are missing");
  for (KeyDef& key : table.keys) {
    if (!(key.flags & kKeyFlagUsesComment)) continue;
    const size_t n = keys.u16le(pos);
    if (!keys.fits(pos + 2, n)) {
      result.warnings.push_back("comment of key " + key.name + " is cut off");
      break;
    }
    key.comment = DecodeStoredText(keys.text(pos + 2, n), cp);
    pos += 2 + n;
  }
  for (KeyDef& key : table.keys) {
    if (key.is_primary()) {
      key.kind = KeyKind::kPrimary;
    } else if (key.unique() || key.algorithm == kKeyAlgorithmLongHash) {
      key.kind = KeyKind::kUnique;
    } else if (key.flags & kKeyFlagFulltext) {
      key.kind = KeyKind::kFulltext;
    } else if (key.flags & kKeyFlagSpatial) {
      key.kind = KeyKind::kSpatial;
    }
    for (KeyPart& part : key.parts) part.descending = (part.part_flag & kReverseSortPart) != 0;
  }
}

// Null bits follow the column order, one reserved bit first in tables with
// fixed rows; BIT columns keep their odd bits there too, after their own null bit. MySQL 5.7 puts
// the bits of its virtual columns after all the others.
void AssignNullBits(TableDef& table, bool mysql57_virtual_last) {
  int32_t bit = (table.create_options & 1) ? 0 : 1;
  auto assign = [&bit](ColumnDef& col) {
    if (col.nullable) col.null_bit = bit++;
    if (col.type == kTypeBit && !(col.pack_flags & kPackBitAsChar) && (col.length & 7) != 0) {
      col.bit_leftover_pos = bit;
      bit += col.length & 7;
    }
  };
  for (ColumnDef& col : table.columns) {
    if (!mysql57_virtual_last || col.generated != Generated::kVirtual) assign(col);
  }
  if (mysql57_virtual_last) {
    for (ColumnDef& col : table.columns) {
      if (col.generated == Generated::kVirtual) assign(col);
    }
  }
  table.null_bytes = (bit + 7) / 8;
}

void MarkKeyMembership(TableDef& table) {
  const size_t n = table.columns.size();
  for (const KeyDef& key : table.keys) {
    const bool primary = key.is_primary();
    if (!primary && !key.unique()) continue;
    for (const KeyPart& part : key.parts) {
      if (part.field_number == 0 || part.field_number > n) continue;
      ColumnDef& col = table.columns[part.field_number - 1];
      if (primary) {
        col.in_primary_key = 1;
      } else {
        col.in_unique_key = 1;
      }
    }
  }
}

// Table options, the extra segment and the column defaults: none of them
// changes how rows are laid out, so damage here only costs warnings.
void ReadDefinitionExtras(ByteView v, ByteView form, const FrmExtra2& extra2, const CodePage& cp,
                          const CollationTable& collations, TableDef& table,
                          FrmReadResult& result) {
  ReadHeaderOptions(v, form, cp, table);
  const uint32_t key_info_pos = v.u16le(6);
  const uint32_t key_info_len = v.u16le(14) == 0xFFFF ? v.u32le(47) : v.u16le(14);
  const size_t record_offset = size_t{key_info_pos} + key_info_len;
  const size_t record_length = v.u16le(16);
  if (!v.fits(record_offset, record_length)) {
    result.warnings.push_back("not read: column defaults (the default-values record is cut off)");
  } else if (v.u8(32) == 0) {
    ReadColumnDefaults(v.sub(record_offset, record_length), collations, cp, table, result.warnings);
  } else {
    result.warnings.push_back("not read: column defaults of a file older than MySQL 3.23");
  }
  const uint32_t extra_size = v.u32le(55);
  if (extra_size != 0) {
    const ByteView seg = v.sub(record_offset + record_length, extra_size);
    if (seg.size() < extra_size) result.warnings.push_back("extra segment is cut off");
    ReadExtraSegment(seg, form.u8(46), cp, table, result.warnings);
  } else if (form.u8(46) == 255) {
    result.warnings.push_back("not read: the long table comment (no extra segment)");
  }
  if (extra2.engine_options.size() > 0) {
    ReadEngineOptions(extra2.engine_options, table, result.warnings);
  }
  if (table.engine_type == kEnginePartition || !table.options.partition_clause.empty()) {
    // The engine of the partitions: extra2 names it, or the header's code.
    if (!extra2.default_partition_engine.empty()) {
      table.options.engine_name = extra2.default_partition_engine;
    } else if (v.u8(61) != 0) {
      table.options.engine_name = EngineName(v.u8(61));
    }
  }
}

}  // namespace

FrmReadResult ParseFrm(ByteView v, const CollationTable& collations, const CodePage& cp,
                       TableDef& table) {
  FrmReadResult result;
  auto fail = [&result](std::string why) {
    result.ok = false;
    result.error = std::move(why);
    return result;
  };
  if (v.size() < kHeaderSize) return fail("file is shorter than a table definition header");
  if (v.u8(0) != 0xFE || v.u8(1) != 0x01) return fail("not a table definition (wrong magic)");
  const uint8_t version = v.u8(2);
  if (version != 6 && version != 7 && version != 9 && version != 10 && version != 11) {
    return fail("unsupported table definition version " + std::to_string(version));
  }
  const int new_format_level = version - 6;
  table.frm_version = version;
  table.engine_type = v.u8(3);
  table.create_options = v.u16le(30);

  const uint32_t names_length = v.u16le(4);
  FrmExtra2 extra2;
  ReadExtra2(v, names_length, extra2, result.warnings);
  const uint32_t names_count = v.u16le(8);
  if (names_count == 0) return fail("no form entry in the header");
  if (!v.fits(kHeaderSize, names_length + 4ull * names_count))
    return fail("names block is cut off");
  const uint32_t form_pos = v.u32le(kHeaderSize + names_length);
  if (form_pos == 0) return fail("form position is zero");
  if (!v.fits(form_pos, kFormInfoSize)) return fail("form information is cut off");
  const ByteView form = v.sub(form_pos, kFormInfoSize);

  table.mysql_version = v.u32le(51);
  table.frm_from_56 = table.mysql_version >= 50600;
  const bool null_fields_first = v.u8(32) == 0;
  table.table_charset_id = null_fields_first ? (v.u8(41) * 256 + v.u8(38)) : 0;

  const uint32_t key_pos = v.u16le(6);
  const uint32_t key_length = v.u16le(28);
  ParseKeys(v.sub(key_pos, key_length), new_format_level >= 3, new_format_level >= 1, cp, table,
            result);

  const uint32_t field_count = form.u16le(258);
  const uint32_t screens_length = form.u16le(260);
  table.record_length = form.u16le(266);
  const uint32_t names_len = form.u16le(268);
  const uint32_t interval_count = form.u16le(270);
  const uint32_t intervals_len = form.u16le(274);
  const uint32_t nullable_count = form.u16le(282);
  const uint32_t comments_len = form.u16le(284);
  const uint32_t vcol_len = form.u16le(286);
  const size_t rec_size = new_format_level >= 3 ? 17 : 11;

  const size_t section_pos = size_t{form_pos} + kFormInfoSize;
  const size_t section_len =
      field_count * rec_size + screens_length + names_len + intervals_len + comments_len + vcol_len;
  const ByteView section = v.sub(section_pos, section_len);
  if (section.size() < section_len) result.warnings.push_back("column section is cut off");

  const size_t records_pos = screens_length;
  const size_t names_pos = records_pos + field_count * rec_size;
  const size_t intervals_pos = names_pos + names_len;
  const size_t comments_pos = intervals_pos + intervals_len;
  const size_t vcol_pos = comments_pos + comments_len;
  // Expressions of generated columns in files before MariaDB 10.2 and in
  // MySQL 5.7 ones: one entry per such column, in column order.
  const bool mariadb_expressions = version >= 11;
  const bool mysql57 = table.mysql_version >= 50700 && table.mysql_version < 100000;
  size_t old_vcol_cursor = vcol_pos;
  const size_t vcol_end = vcol_pos + vcol_len;
  std::vector<std::string_view> names;
  SplitTextList(section, names_pos, std::min(section.size(), intervals_pos), names);
  if (names.size() != field_count) {
    return fail("column name list holds " + std::to_string(names.size()) + " names for " +
                std::to_string(field_count) + " columns");
  }
  std::vector<std::vector<std::string_view>> intervals;
  {
    size_t p = intervals_pos;
    const size_t end = std::min(section.size(), comments_pos);
    for (uint32_t i = 0; i < interval_count && p < end; ++i) {
      intervals.emplace_back();
      p = SplitTextList(section, p, end, intervals.back());
    }
    if (intervals.size() < interval_count) result.warnings.push_back("ENUM/SET lists are cut off");
  }

  size_t comment_cursor = comments_pos;
  int enum_set_seen = 0;
  for (uint32_t i = 0; i < field_count; ++i) {
    const size_t r = records_pos + i * rec_size;
    ColumnDef col;
    col.index = static_cast<int32_t>(i);
    col.name = DecodeStoredText(names[i], cp);
    uint32_t interval_nr;
    if (rec_size == 17) {
      col.length = section.u16le(r + 3);
      col.record_pos = section.u24le(r + 5);
      col.pack_flags = section.u16le(r + 8);
      col.type = section.u8(r + 13);
      interval_nr = section.u8(r + 12);
      col.unireg_check = section.u8(r + 10) & 0x7F;
      const bool mariadb_old_vcol =
          col.type == kTypeJson && (table.mysql_version < 50600 || table.mysql_version >= 100000);
      if (mariadb_old_vcol && !mariadb_expressions) {
        // byte 0: 1, or 2 when an ENUM/SET list number follows; byte 1: the real
        // type; byte 2: bit 0 stored; then the expression.
        const size_t info_len = interval_nr;
        const uint8_t kind = section.u8(old_vcol_cursor);
        const size_t header = kind == 2 ? 4 : 3;
        if ((kind != 1 && kind != 2) || info_len < header ||
            old_vcol_cursor + info_len > vcol_end) {
          return fail("expression of generated column " + col.name + " is damaged");
        }
        col.type = section.u8(old_vcol_cursor + 1);
        interval_nr = kind == 2 ? section.u8(old_vcol_cursor + 3) : 0;
        col.generated =
            (section.u8(old_vcol_cursor + 2) & 1) ? Generated::kStored : Generated::kVirtual;
        col.generation_expression =
            DecodeStoredText(section.text(old_vcol_cursor + header, info_len - header), cp);
        old_vcol_cursor += info_len;
      } else if ((section.u8(r + 10) & kMysql57GeneratedField) && !mariadb_expressions) {
        // MySQL 5.7: byte 0: 1; bytes 1-2: expression length; byte 3: stored.
        const size_t expr_len = section.u16le(old_vcol_cursor + 1);
        if (section.u8(old_vcol_cursor) != 1 || old_vcol_cursor + 4 + expr_len > vcol_end) {
          return fail("expression of generated column " + col.name + " is damaged");
        }
        col.unireg_check = 0;
        col.generated = section.u8(old_vcol_cursor + 3) ? Generated::kStored : Generated::kVirtual;
        col.generation_expression =
            DecodeStoredText(section.text(old_vcol_cursor + 4, expr_len), cp);
        old_vcol_cursor += 4 + expr_len;
      }
    } else {
      col.length = section.u8(r + 3);
      col.record_pos = section.u16le(r + 4);
      col.pack_flags = section.u16le(r + 6) & ~0x4000u;
      interval_nr = section.u8(r + 10);
      col.type =
          OldFormType(col.pack_flags, col.length, interval_nr, (table.create_options & 1) != 0);
    }
    col.nullable = (col.pack_flags & kPackMaybeNull) ? 1 : 0;
    if (i < extra2.field_flags.size()) {
      const uint8_t visibility = extra2.field_flags.u8(i) & kVisibilityMask;
      col.invisible = visibility == kInvisibleUser;
      col.server_hidden = visibility > kInvisibleUser;
    }
    const bool numeric = (col.pack_flags & kPackNumber) != 0;
    if (numeric) {
      col.unsigned_flag = (col.pack_flags & kPackSigned) == 0;
      col.zerofill = (col.pack_flags & kPackZerofill) != 0;
    }

    if (rec_size == 17) {
      if (col.type == kTypeGeometry) {
        col.geometry_type = section.u8(r + 14);
        col.charset_id = kBinaryCollation;
      } else {
        col.charset_id = section.u8(r + 11) * 256 + section.u8(r + 14);
      }
      if (!numeric) {
        if ((col.pack_flags & kPackBlob) && col.type >= kTypeTinyBlob && col.type <= kTypeBlob) {
          col.type = BlobTypeFromPackLength(col.pack_flags, col.type);
        }
        // ENUM and SET may be stored under the CHAR code; the pack flags tell.
        if (interval_nr > 0 &&
            (col.type == kTypeString || col.type == kTypeEnum || col.type == kTypeSet)) {
          if (col.pack_flags & kPackInterval)
            col.type = kTypeEnum;
          else if (col.pack_flags & kPackBitfield)
            col.type = kTypeSet;
        }
      }
    } else if (!numeric && ((col.pack_flags & kPackSigned) || col.type == kTypeGeometry)) {
      col.charset_id = kBinaryCollation;  // the old BINARY attribute
    }
    if (col.type == kTypeEnum || col.type == kTypeSet) {
      const size_t list = interval_nr != 0 ? interval_nr - 1 : static_cast<size_t>(enum_set_seen);
      ++enum_set_seen;
      if (list < intervals.size()) {
        const CollationEntry* coll = collations.LookupCollation(col.charset_id);
        for (std::string_view raw : intervals[list]) {
          col.enum_members.push_back(DecodeMember(raw, coll, cp));
        }
        for (size_t m = 0; m < col.enum_members.size(); ++m) {
          if (m) col.enum_values.push_back(',');
          AppendSqlStringLiteral(col.enum_members[m], col.enum_values);
        }
      } else {
        result.warnings.push_back("column " + col.name + " has no ENUM/SET member list");
      }
    }
    {
      const int32_t d = static_cast<int32_t>((col.pack_flags >> 8) & 0x1F);
      if (col.type == kTypeDecimalOld || col.type == kTypeNewDecimal) {
        const int32_t sign = ((col.pack_flags & kPackSigned) && col.length != 0) ? 1 : 0;
        int32_t precision = col.length - (d > 0 ? 1 : 0) - sign;
        if (precision < 0 || precision > 65) precision = 65;
        col.precision = precision;
        col.decimals = d;
      } else if (col.type == kTypeFloat || col.type == kTypeDouble) {
        if (d < 31) {
          col.precision = col.length;
          col.decimals = d;
        }
      }
      col.fractional_digits = FractionalDigits(col.type, col.length);
    }
    if (rec_size == 17) {
      const uint32_t comment_len = section.u16le(r + 15);
      if (comment_len != 0) {
        if (!section.fits(comment_cursor, comment_len)) {
          result.warnings.push_back("comment of column " + col.name + " is cut off");
        }
        col.comment = DecodeStoredText(section.text(comment_cursor, comment_len), cp);
        comment_cursor += comment_len;
      }
    }

    table.columns.push_back(std::move(col));
  }
  (void)nullable_count;
  AssignNullBits(table, mysql57);
  for (size_t k = 0; k < table.keys.size() && k < extra2.index_flags.size(); ++k) {
    table.keys[k].ignored = (extra2.index_flags.u8(k) & 1) != 0;
  }
  if (mariadb_expressions && vcol_len > kVcolBaseHeader) {
    ReadExpressions(section.sub(vcol_pos + kVcolBaseHeader, vcol_len - kVcolBaseHeader), table,
                    result.warnings);
  }
  for (ColumnDef& col : table.columns) {
    // The hash column of a long UNIQUE key is computed, never stored.
    if (col.server_hidden && col.generated == Generated::kNo) col.generated = Generated::kVirtual;
  }
  // The server puts those columns last, after every stored byte and null bit:
  // without them the table is what its CREATE TABLE and its rows say.
  while (!table.columns.empty() && table.columns.back().server_hidden) table.columns.pop_back();
  ReadDefinitionExtras(v, form, extra2, cp, collations, table, result);
  MarkKeyMembership(table);
  result.ok = true;
  return result;
}

FrmReadResult ReadTableDefinition(const std::filesystem::path& path,
                                  const CollationTable& collations, const CodePage& code_page,
                                  TableDef& table) {
  table.Clear();
  std::string bytes;
  if (!ReadWholeFile(path, bytes, kMaxFrmBytes)) {
    FrmReadResult r;
    r.error = "cannot open " + path.string();
    return r;
  }
  FrmReadResult r = ParseFrm(ByteView(bytes), collations, code_page, table);
  std::string mrg_error;
  if (r.ok &&
      (table.engine_type == kEngineMergeMyIsam || table.options.engine_name == "MRG_MyISAM") &&
      !ReadMergeUnion(path, table.options, &mrg_error)) {
    r.warnings.push_back("not read: the MERGE table list (" + mrg_error + ")");
  }
  return r;
}

}  // namespace vostrel
