#include "model/frm_reader.h"

#include <algorithm>
#include <cctype>

#include "model/charset_names.h"
#include "model/file_util.h"
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
constexpr uint16_t kKeyUsesComment = 0x1000;

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
  if (version != 6 && version != 7 && version != 9 && version != 10) {
    return fail("unsupported table definition version " + std::to_string(version));
  }
  const int new_format_level = version - 6;
  table.frm_version = version;
  table.engine_type = v.u8(3);
  table.create_options = v.u16le(30);

  const uint32_t names_length = v.u16le(4);
  const uint32_t names_count = v.u16le(8);
  if (names_count == 0) return fail("no form entry in the header");
  if (!v.fits(kHeaderSize, names_length + 4ull * names_count)) return fail("names block is cut off");
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
  const size_t rec_size = new_format_level >= 3 ? 17 : 11;

  const size_t section_pos = size_t{form_pos} + kFormInfoSize;
  const size_t section_len =
      field_count * rec_size + screens_length + names_len + intervals_len + comments_len;
  const ByteView section = v.sub(section_pos, section_len);
  if (section.size() < section_len) result.warnings.push_back("column section is cut off");

  const size_t records_pos = screens_length;
  const size_t names_pos = records_pos + field_count * rec_size;
  const size_t intervals_pos = names_pos + names_len;
  const size_t comments_pos = intervals_pos + intervals_len;

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

  // Null bitmap layout: one bit per nullable column, after one reserved bit
  // when records are not packed; BIT columns keep their odd bits there too.
  int32_t null_bit = (table.create_options & 1) ? 0 : 1;
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
    } else {
      col.length = section.u8(r + 3);
      col.record_pos = section.u16le(r + 4);
      col.pack_flags = section.u16le(r + 6) & ~0x4000u;
      interval_nr = section.u8(r + 10);
      col.type = OldFormType(col.pack_flags, col.length, interval_nr,
                             (table.create_options & 1) != 0);
    }
    col.nullable = (col.pack_flags & kPackMaybeNull) ? 1 : 0;
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
        if (interval_nr > 0 && (col.type == kTypeString || col.type == kTypeEnum ||
                                col.type == kTypeSet)) {
          if (col.pack_flags & kPackInterval) col.type = kTypeEnum;
          else if (col.pack_flags & kPackBitfield) col.type = kTypeSet;
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

    if (col.nullable) col.null_bit = null_bit++;
    if (col.type == kTypeBit && !(col.pack_flags & kPackBitAsChar) && (col.length & 7) != 0) {
      col.bit_leftover_pos = null_bit;
      null_bit += col.length & 7;
    }
    table.columns.push_back(std::move(col));
  }
  (void)nullable_count;
  table.null_bytes = (null_bit + 7) / 8;
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
  if (r.ok && table.engine_type == kEngineMergeMyIsam &&
      !ReadMergeUnion(path, table.options, &mrg_error)) {
    r.warnings.push_back("the MERGE table's .MRG file cannot be read: " + mrg_error);
  }
  return r;
}

}  // namespace vostrel
