#include "innodb/clustered_fields.h"

#include "innodb/page.h"
#include "model/value_text.h"

namespace vostrel {

namespace {

constexpr int32_t kMaxFixedLength = 768;

bool IsStringLike(int32_t type) {
  return type == kTypeVarchar || type == kTypeVarString || type == kTypeString ||
         (type >= kTypeTinyBlob && type <= kTypeBlob) || type == kTypeGeometry;
}

InnoColumnDef Hidden(const char* name, int32_t len) {
  InnoColumnDef f;
  f.mtype = kDataSys;
  f.prtype = kPrtypeNotNull;
  f.len = f.fixed_len = len;
  f.name = name;
  return f;
}

}  // namespace

int32_t FixedLength(int32_t mtype, uint32_t prtype, int32_t len, int mbminlen, int mbmaxlen) {
  switch (mtype) {
    case kDataChar:
    case kDataFixBinary:
    case kDataInt:
    case kDataFloat:
    case kDataDouble:
      break;
    case kDataMysql:
      // In the compact format a CHAR whose characters vary in width has a length.
      if (!(prtype & kPrtypeBinary) && mbminlen != mbmaxlen) return 0;
      break;
    default:
      return 0;
  }
  return len <= kMaxFixedLength ? len : 0;
}

const KeyDef* ClusteredKey(const TableDef& table) {
  if (const KeyDef* pk = table.PrimaryKey()) return pk;
  for (const KeyDef& key : table.keys) {
    if (!key.unique() || key.parts.empty()) continue;
    bool usable = true;
    for (const KeyPart& part : key.parts) {
      if (part.field_number == 0 || part.field_number > table.columns.size()) {
        usable = false;
        break;
      }
      const ColumnDef& c = table.columns[part.field_number - 1];
      const bool large =
          (c.type >= kTypeTinyBlob && c.type <= kTypeBlob) || c.type == kTypeGeometry;
      if (c.nullable || (IsStringLike(c.type) && (large || part.length < c.length))) {
        usable = false;
        break;
      }
    }
    if (usable) return &key;
  }
  return nullptr;
}

InnoColumnDef InnoFieldForColumn(const TableDef& table, size_t i,
                                 const CollationTable& collations) {
  const ColumnDef& c = table.columns[i];
  InnoColumnDef f;
  f.column = static_cast<int32_t>(i);
  f.name = c.name;
  f.prtype =
      (c.nullable ? 0u : kPrtypeNotNull) | (static_cast<uint32_t>(c.charset_id & 0xFF) << 16);
  const bool binary = c.charset_id == kBinaryCollation;
  auto integer = [&f](int32_t len, bool is_unsigned) {
    f.mtype = kDataInt;
    f.len = len;
    if (is_unsigned) f.prtype |= kPrtypeUnsigned;
  };
  switch (c.type) {
    case kTypeTiny:
      integer(1, c.unsigned_flag);
      break;
    case kTypeShort:
      integer(2, c.unsigned_flag);
      break;
    case kTypeInt24:
      integer(3, c.unsigned_flag);
      break;
    case kTypeLong:
      integer(4, c.unsigned_flag);
      break;
    case kTypeLongLong:
      integer(8, c.unsigned_flag);
      break;
    case kTypeYear:
      integer(1, true);
      break;
    case kTypeNewDate:
      integer(3, false);
      break;
    case kTypeDate:
      integer(4, false);
      break;
    case kTypeTime:
      integer(3, false);
      break;
    case kTypeDateTime:
      integer(8, false);
      break;
    case kTypeTimestamp:
      integer(4, true);
      break;
    case kTypeEnum:
      integer(static_cast<int32_t>(EnumSize(c.enum_members.size())), true);
      break;
    case kTypeSet:
      integer(static_cast<int32_t>(SetSize(c.enum_members.size())), true);
      break;
    case kTypeFloat:
      f.mtype = kDataFloat;
      f.len = 4;
      break;
    case kTypeDouble:
      f.mtype = kDataDouble;
      f.len = 8;
      break;
    case kTypeNewDecimal:
      f.mtype = kDataFixBinary;
      f.len = static_cast<int32_t>(PackedDecimalSize(c.precision, c.decimals));
      break;
    case kTypeTime2:
      f.mtype = kDataFixBinary;
      f.len = static_cast<int32_t>(Time2Size(c.fractional_digits));
      break;
    case kTypeDateTime2:
      f.mtype = kDataFixBinary;
      f.len = static_cast<int32_t>(DateTime2Size(c.fractional_digits));
      break;
    case kTypeTimestamp2:
      f.mtype = kDataFixBinary;
      f.len = static_cast<int32_t>(Timestamp2Size(c.fractional_digits));
      break;
    case kTypeBit:
      f.mtype = kDataFixBinary;
      f.len = (c.length + 7) / 8;
      break;
    case kTypeString: {
      f.len = c.length;
      if (binary) {
        f.mtype = kDataFixBinary;
        f.prtype |= kPrtypeBinary;
        break;
      }
      f.mtype = kDataMysql;
      break;
    }
    case kTypeVarchar:
    case kTypeVarString:
      f.mtype = binary ? kDataBinary : kDataVarMysql;
      f.len = c.length;
      break;
    case kTypeDecimalOld:
      f.mtype = kDataDecimal;
      f.len = c.length;
      break;
    case kTypeTinyBlob:
    case kTypeBlob:
    case kTypeMediumBlob:
    case kTypeLongBlob:
    case kTypeGeometry:
      f.mtype = kDataBlob;
      f.len = 10;
      break;
    default:
      f.mtype = kDataBinary;
      f.len = c.length;
  }
  const CollationEntry* e = collations.LookupCollation(c.charset_id);
  f.fixed_len = FixedLength(f.mtype, f.prtype, f.len, e ? e->mbminlen : 0, e ? e->mbmaxlen : 0);
  return f;
}

ClusteredIndex BuildClusteredIndexFromTableDef(const TableDef& table,
                                               const CollationTable& collations) {
  ClusteredIndex index;
  std::vector<bool> whole(table.columns.size(), false);
  if (const KeyDef* key = ClusteredKey(table)) {
    for (const KeyPart& part : key->parts) {
      if (part.field_number == 0 || part.field_number > table.columns.size()) continue;
      const size_t col = part.field_number - 1;
      InnoColumnDef f = InnoFieldForColumn(table, col, collations);
      const ColumnDef& c = table.columns[col];
      if (IsStringLike(c.type) && part.length > 0 && part.length < c.length) {
        // A prefix key field; the whole column follows among the other fields.
        f.key_prefix = true;
        if (f.fixed_len > part.length) f.fixed_len = part.length;
      } else {
        whole[col] = true;
      }
      index.fields.push_back(f);
    }
  }
  index.key_fields = index.fields.size();
  if (index.key_fields == 0) {
    index.fields.push_back(Hidden("DB_ROW_ID", 6));
    index.key_fields = 1;
  }
  index.fields.push_back(Hidden("DB_TRX_ID", 6));
  index.fields.push_back(Hidden("DB_ROLL_PTR", 7));
  for (size_t i = 0; i < table.columns.size(); ++i) {
    // VIRTUAL columns are computed on read: the record has no field for them.
    if (!whole[i] && table.columns[i].in_stored_row()) {
      index.fields.push_back(InnoFieldForColumn(table, i, collations));
    }
  }
  index.CountNullable();
  return index;
}

void ClusteredIndex::CountNullable() {
  nullable_before.assign(fields.size() + 1, 0);
  nullable_fields = 0;
  for (size_t i = 0; i < fields.size(); ++i) {
    nullable_fields += fields[i].nullable();
    nullable_before[i + 1] = static_cast<uint16_t>(nullable_fields);
  }
}

size_t NodePointerKeyLength(const uint8_t* page, size_t origin, const ClusteredIndex& index) {
  const size_t header = 5 + index.node_null_bytes();
  if (origin < header + 1 || origin >= kPageSize) return 0;
  size_t lens = origin - header;  // one past the first length byte
  size_t total = 0;
  for (size_t k = 0; k < index.key_fields; ++k) {
    const InnoColumnDef& f = index.fields[k];
    if (f.fixed_len != 0) {
      total += static_cast<size_t>(f.fixed_len);
      continue;
    }
    if (lens == 0) return 0;
    const uint8_t b1 = page[--lens];
    if (f.big() && (b1 & 0x80)) {
      if (lens == 0) return 0;
      const uint8_t b2 = page[--lens];
      total += (size_t{b1 & 0x3Fu} << 8) | b2;
    } else {
      total += b1;
    }
  }
  if (origin + total + 4 > kPageSize) return 0;
  return total;
}

}  // namespace vostrel
