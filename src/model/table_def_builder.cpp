#include "model/table_def_builder.h"

#include <strings.h>

#include <algorithm>

#include "model/type_text.h"
#include "model/value_text.h"
#include "sql/sql_literals.h"

namespace vostrel {

namespace {

constexpr uint32_t kPackInterval = 0x0100;
constexpr uint32_t kPackBitfield = 0x0200;
constexpr uint32_t kPackBlob = 0x0400;
constexpr uint32_t kPackGeometry = 0x0800;
constexpr uint32_t kPackShift = 3;
constexpr uint32_t kDecShift = 8;
constexpr int32_t kNotFixedDec = 31;
constexpr size_t kBlobPointer = 8;  // bytes of the pointer a blob's record part holds

constexpr uint16_t kKeyNullPart = 0x0040;
constexpr uint16_t kKeyPack = 0x0002;
constexpr uint16_t kKeyUsesBlockSize = 0x8000;
constexpr uint16_t kKeyVarLength = 0x0008;
constexpr uint16_t kKeyBinaryPack = 0x0020;
constexpr uint32_t kKeyDefaultPackLength = 8;
constexpr int32_t kNumericCollation = 8;
// What the server's .frm holds as the length of BLOB, TEXT, JSON and geometry columns.
constexpr int32_t kBlobFrmLength = 8;
// Key-part length of a FULLTEXT part over a large column, and of a SPATIAL part (its MBR).
constexpr uint16_t kFulltextBlobPart = 1;
constexpr uint16_t kSpatialPart = 32;
constexpr uint16_t kOptionPackRecord = 0x0001;
constexpr uint16_t kOptionPackKeys = 0x0002;
constexpr uint16_t kOptionLongBlobPointer = 0x0008;
constexpr uint16_t kOptionChecksum = 0x0020;
constexpr uint16_t kOptionDelayKeyWrite = 0x0040;
constexpr uint16_t kOptionNoPackKeys = 0x0080;
constexpr uint16_t kOptionStatsPersistent = 0x1000;
constexpr uint16_t kOptionNoStatsPersistent = 0x2000;
constexpr uint16_t kOptionTextCreateOptions = 0x4000;

bool Same(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool IsBlob(int32_t type) {
  return type >= kTypeTinyBlob && type <= kTypeBlob;
}

bool IsCharType(int32_t type) {
  return type == kTypeString || type == kTypeVarchar || IsBlob(type) || type == kTypeEnum ||
         type == kTypeSet;
}

size_t Utf8Chars(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// Bytes a blob's length prefix takes: the type of its largest value.
uint32_t BlobPrefixBytes(int32_t type) {
  switch (type) {
    case kTypeTinyBlob:
      return 1;
    case kTypeBlob:
      return 2;
    case kTypeMediumBlob:
      return 3;
    default:
      return 4;
  }
}

// The pack-flag code of an integer of `bytes` bytes: the length-prefix size of blobs and
// the storage size of ENUM and SET.
uint32_t PackLengthFlag(uint32_t bytes) {
  switch (bytes) {
    case 1:
      return kTypeTiny << kPackShift;
    case 2:
      return kTypeShort << kPackShift;
    case 3:
      return kTypeInt24 << kPackShift;
    case 4:
      return kTypeLong << kPackShift;
    case 8:
      return kTypeLongLong << kPackShift;
    default:
      return 0;
  }
}

int32_t DefaultIntWidth(int32_t type, bool is_unsigned) {
  switch (type) {
    case kTypeTiny:
      return is_unsigned ? 3 : 4;
    case kTypeShort:
      return is_unsigned ? 5 : 6;
    case kTypeInt24:
      return is_unsigned ? 8 : 9;
    case kTypeLong:
      return is_unsigned ? 10 : 11;
    default:
      return 20;
  }
}

// Bytes the column takes in the record (blobs: prefix and pointer).
uint32_t PackLength(const ColumnDef& c, bool bit_fields_split) {
  switch (c.type) {
    case kTypeTiny:
    case kTypeYear:
      return 1;
    case kTypeShort:
      return 2;
    case kTypeInt24:
    case kTypeNewDate:
    case kTypeTime:
      return 3;
    case kTypeLong:
    case kTypeFloat:
    case kTypeTimestamp:
    case kTypeDate:
      return 4;
    case kTypeLongLong:
    case kTypeDouble:
    case kTypeDateTime:
      return 8;
    case kTypeNewDecimal:
      return static_cast<uint32_t>(PackedDecimalSize(c.precision, c.decimals));
    case kTypeTime2:
      return static_cast<uint32_t>(Time2Size(c.fractional_digits));
    case kTypeDateTime2:
      return static_cast<uint32_t>(DateTime2Size(c.fractional_digits));
    case kTypeTimestamp2:
      return static_cast<uint32_t>(Timestamp2Size(c.fractional_digits));
    case kTypeString:
      return static_cast<uint32_t>(c.length);
    case kTypeVarchar:
      return static_cast<uint32_t>(c.length) + (c.length < 256 ? 1 : 2);
    case kTypeBit:
      return static_cast<uint32_t>(bit_fields_split ? c.length / 8 : (c.length + 7) / 8);
    case kTypeEnum:
      return static_cast<uint32_t>(EnumSize(c.enum_members.size()));
    case kTypeSet:
      return static_cast<uint32_t>(SetSize(c.enum_members.size()));
    case kTypeTinyBlob:
    case kTypeBlob:
    case kTypeMediumBlob:
    case kTypeLongBlob:
      return BlobPrefixBytes(c.type) + kBlobPointer;
    case kTypeGeometry:
    case kTypeJson:
      return 4 + kBlobPointer;
    default:
      return 0;
  }
}

struct TypeInfo {
  int32_t type;
  int32_t geometry = 0;
};

bool TypeCode(const std::string& t, TypeInfo& out) {
  static const std::pair<const char*, TypeInfo> kTypes[] = {
      {"tinyint", {kTypeTiny}},
      {"smallint", {kTypeShort}},
      {"mediumint", {kTypeInt24}},
      {"int", {kTypeLong}},
      {"bigint", {kTypeLongLong}},
      {"float", {kTypeFloat}},
      {"double", {kTypeDouble}},
      {"decimal", {kTypeNewDecimal}},
      {"bit", {kTypeBit}},
      {"date", {kTypeNewDate}},
      {"time", {kTypeTime2}},
      {"datetime", {kTypeDateTime2}},
      {"timestamp", {kTypeTimestamp2}},
      {"year", {kTypeYear}},
      {"char", {kTypeString}},
      {"binary", {kTypeString}},
      {"varchar", {kTypeVarchar}},
      {"varbinary", {kTypeVarchar}},
      {"tinytext", {kTypeTinyBlob}},
      {"tinyblob", {kTypeTinyBlob}},
      {"text", {kTypeBlob}},
      {"blob", {kTypeBlob}},
      {"mediumtext", {kTypeMediumBlob}},
      {"mediumblob", {kTypeMediumBlob}},
      {"longtext", {kTypeLongBlob}},
      {"longblob", {kTypeLongBlob}},
      {"enum", {kTypeEnum}},
      {"set", {kTypeSet}},
      {"json", {kTypeJson}},
      {"geometry", {kTypeGeometry, 0}},
      {"point", {kTypeGeometry, 1}},
      {"linestring", {kTypeGeometry, 2}},
      {"polygon", {kTypeGeometry, 3}},
      {"multipoint", {kTypeGeometry, 4}},
      {"multilinestring", {kTypeGeometry, 5}},
      {"multipolygon", {kTypeGeometry, 6}},
      {"geometrycollection", {kTypeGeometry, 7}},
  };
  for (const auto& [name, info] : kTypes) {
    if (t == name) {
      out = info;
      return true;
    }
  }
  return false;
}

class Builder {
 public:
  Builder(const DeclaredTable& d, const CollationTable& collations, TableDef& out,
          TableDefBuild& result)
      : d_(d), coll_(collations), t_(out), r_(result) {}

  bool Run(int32_t default_collation) {
    t_.Clear();
    t_.frm_version = 10;
    t_.layout_unverified = true;
    t_.frm_from_56 = true;
    t_.options = d_.options;
    const std::string& engine = d_.options.engine_name;
    if (engine.empty()) {
      t_.options.engine_name = "InnoDB";
      r_.notes.push_back("no ENGINE given: InnoDB taken, the server's default");
    } else if (const uint8_t code = EngineCodeForName(engine)) {
      t_.options.engine_name = EngineName(code);
    }
    t_.engine_type = EngineCodeForName(t_.options.engine_name);
    if (!t_.options.partition_clause.empty()) t_.engine_type = kEnginePartition;
    if (!TableCollation(default_collation)) return false;
    for (const DeclaredColumn& c : d_.columns) {
      if (!Column(c)) return false;
    }
    PrimaryNotNull();
    CreateOptions();
    Layout();
    if (!Keys()) return false;
    t_.record_length += static_cast<int32_t>(8 * long_hashes_);
    t_.foreign_keys = d_.foreign_keys;
    t_.checks = d_.checks;
    return true;
  }

 private:
  bool Fail(const std::string& why) {
    r_.error = why;
    return false;
  }

  const CollationEntry* Entry(int32_t id) const { return coll_.LookupCollation(id); }
  bool EndsWithBin(int32_t id) const {
    const CollationEntry* e = Entry(id);
    return e != nullptr && e->collation_name.size() > 4 &&
           e->collation_name.compare(e->collation_name.size() - 4, 4, "_bin") == 0;
  }
  int32_t MaxBytes(int32_t id) const {
    const CollationEntry* e = Entry(id);
    return e != nullptr && e->mbmaxlen > 0 ? e->mbmaxlen : 1;
  }

  // A charset and collation as written, to a collation id; 0 when unknown.
  int32_t Resolve(const std::string& charset, const std::string& collation, bool binary_attr,
                  int32_t inherited, std::string* problem) {
    if (!collation.empty()) {
      const int32_t id = coll_.FindCollation(collation);
      if (id == 0) *problem = "collation " + collation + " is not known";
      return id;
    }
    std::string set = charset;
    if (set.empty()) {
      const CollationEntry* e = Entry(inherited);
      if (!binary_attr) return inherited;
      if (e == nullptr) return inherited;
      set = e->charset_name;
    }
    if (binary_attr) {
      if (Same(set, "binary")) return kBinaryCollation;
      const int32_t id = coll_.FindCollation(set + "_bin");
      if (id == 0) *problem = "character set " + set + " has no _bin collation";
      return id;
    }
    const int32_t id = coll_.DefaultCollation(set);
    if (id == 0) *problem = "character set " + set + " is not known";
    return id;
  }

  bool TableCollation(int32_t default_collation) {
    std::string problem;
    if (d_.charset.empty() && d_.collation.empty()) {
      table_collation_ =
          default_collation != 0 ? default_collation : coll_.FindCollation("latin1_swedish_ci");
      if (default_collation == 0) {
        r_.notes.push_back("no DEFAULT CHARSET given: latin1 taken, the server's default");
      }
    } else {
      table_collation_ = Resolve(d_.charset, d_.collation, false, 0, &problem);
      if (!d_.charset.empty() && !d_.collation.empty() && table_collation_ != 0) {
        const CollationEntry* e = Entry(table_collation_);
        std::string cs = d_.charset;
        if (Same(cs, "utf8")) cs = "utf8mb3";
        if (e != nullptr && !Same(e->charset_name, cs)) {
          return Fail("COLLATE " + d_.collation + " is not a collation of " + d_.charset);
        }
      }
    }
    if (table_collation_ == 0) {
      return Fail(problem.empty() ? "the table's character set is not known"
                                  : problem + " (is the collation table loaded?)");
    }
    t_.table_charset_id = table_collation_;
    return true;
  }

  bool Column(const DeclaredColumn& d) {
    ColumnDef c;
    c.name = d.name;
    c.index = static_cast<int32_t>(t_.columns.size());
    TypeInfo info{};
    if (!TypeCode(d.type, info))
      return Fail("column " + d.name + ": type " + d.type + " is not known");
    c.type = info.type;
    c.geometry_type = info.geometry;
    if (d.old_temporal) {
      if (!d.sizes.empty() && d.sizes[0] > 0) {
        return Fail("column " + d.name + ": fractional seconds in the pre-5.6 format are not read");
      }
      c.type = c.type == kTypeTime2       ? kTypeTime
               : c.type == kTypeDateTime2 ? kTypeDateTime
                                          : kTypeTimestamp;
    }
    const bool binary_type =
        d.type == "binary" || d.type == "varbinary" || d.type.find("blob") != std::string::npos;
    const int64_t m = d.sizes.empty() ? -1 : d.sizes[0];
    const int64_t dd = d.sizes.size() > 1 ? d.sizes[1] : -1;
    std::string problem;
    if (binary_type || c.type == kTypeGeometry || c.type == kTypeJson) {
      c.charset_id = kBinaryCollation;
    } else if (IsCharType(c.type)) {
      c.charset_id =
          Resolve(d.charset, d.collation, d.binary_attribute, table_collation_, &problem);
      if (c.charset_id == 0) return Fail("column " + d.name + ": " + problem);
    } else if (c.type == kTypeNewDecimal || c.type == kTypeFloat || c.type == kTypeDouble) {
      c.charset_id = 0;  // what the server writes for these
    } else {
      c.charset_id = kNumericCollation;  // integers, times and BIT: latin1
    }
    const int32_t mb = MaxBytes(c.charset_id);
    c.nullable = !(d.not_null || d.primary_key);
    // Without NULL written a TIMESTAMP is NOT NULL (explicit_defaults_for_timestamp off, the
    // default before MariaDB 10.10 and MySQL 8.0); dumps always write NULL where it is nullable.
    if ((c.type == kTypeTimestamp || c.type == kTypeTimestamp2) && !d.null_given) c.nullable = 0;
    bool not_fixed = false;
    const bool numeric = IsIntegerType(c.type) || c.type == kTypeFloat || c.type == kTypeDouble ||
                         c.type == kTypeNewDecimal;
    auto too_long = [&](int64_t limit) {
      if (m > limit) Fail("column " + d.name + ": length " + std::to_string(m) + " is too large");
      return m > limit;
    };
    switch (c.type) {
      case kTypeTiny:
      case kTypeShort:
      case kTypeInt24:
      case kTypeLong:
      case kTypeLongLong:
        if (too_long(255)) return false;
        c.length = m >= 0 ? static_cast<int32_t>(m) : DefaultIntWidth(c.type, d.is_unsigned);
        break;
      case kTypeFloat:
      case kTypeDouble:
        if (dd >= 0) {
          if (too_long(255) || dd > 30)
            return Fail("column " + d.name + ": FLOAT/DOUBLE size is too large");
          c.length = static_cast<int32_t>(m);
          c.decimals = static_cast<int32_t>(dd);
          c.precision = c.length;
        } else {
          if (m > 53) return Fail("column " + d.name + ": FLOAT precision is too large");
          if (m > 24) c.type = kTypeDouble;
          c.length = c.type == kTypeFloat ? 12 : 22;
          not_fixed = true;  // the .frm says so in the pack flags only
        }
        break;
      case kTypeNewDecimal: {
        const int64_t precision = m >= 0 ? m : 10;
        const int64_t scale = dd >= 0 ? dd : 0;
        if (precision > 65 || scale > 38 || scale > precision) {
          return Fail("column " + d.name + ": DECIMAL(" + std::to_string(precision) + "," +
                      std::to_string(scale) + ") is not a valid size");
        }
        c.precision = static_cast<int32_t>(precision == 0 ? 1 : precision);
        c.decimals = static_cast<int32_t>(scale);
        c.length = c.precision + (scale > 0 ? 1 : 0) + (d.is_unsigned ? 0 : 1);
        break;
      }
      case kTypeBit:
        if (too_long(64)) return false;
        c.length = m >= 0 ? static_cast<int32_t>(m) : 1;
        if (c.length == 0) c.length = 1;
        break;
      case kTypeNewDate:
        c.length = 10;
        break;
      case kTypeYear:
        c.length = m == 2 ? 2 : 4;
        break;
      case kTypeTime:
      case kTypeDateTime:
      case kTypeTimestamp:
        c.length = c.type == kTypeTime ? 10 : 19;
        break;
      case kTypeTime2:
      case kTypeDateTime2:
      case kTypeTimestamp2:
        if (too_long(6)) return false;
        c.fractional_digits = m > 0 ? static_cast<int32_t>(m) : 0;
        c.length =
            (c.type == kTypeTime2 ? 10 : 19) + (c.fractional_digits ? c.fractional_digits + 1 : 0);
        break;
      case kTypeString:
        if (too_long(255)) return false;
        c.length = static_cast<int32_t>(m >= 0 ? m : 1) * mb;
        break;
      case kTypeVarchar:
        if (m < 0) return Fail("column " + d.name + ": VARCHAR needs a length");
        if (m * mb > 65535)
          return Fail("column " + d.name + ": VARCHAR(" + std::to_string(m) + ") is too long");
        c.length = static_cast<int32_t>(m * mb);
        break;
      case kTypeTinyBlob:
      case kTypeBlob:
      case kTypeMediumBlob:
      case kTypeLongBlob: {
        if (m >= 0 && c.type == kTypeBlob) {
          // TEXT(M) / BLOB(M): the smallest type that holds M characters.
          const int64_t bytes = m * mb;
          c.type = bytes < 256        ? kTypeTinyBlob
                   : bytes < 65536    ? kTypeBlob
                   : bytes < 16777216 ? kTypeMediumBlob
                                      : kTypeLongBlob;
        }
        c.length = kBlobFrmLength;
        break;
      }
      case kTypeEnum:
      case kTypeSet: {
        if (d.members.empty()) return Fail("column " + d.name + ": ENUM/SET without members");
        if (c.type == kTypeSet && d.members.size() > 64)
          return Fail("column " + d.name + ": SET of over 64 members");
        size_t longest = 0;
        size_t total = 0;
        for (const std::string& member : d.members) {
          longest = std::max(longest, Utf8Chars(member));
          total += Utf8Chars(member);
        }
        const size_t chars = c.type == kTypeEnum ? longest : total + d.members.size() - 1;
        c.length = static_cast<int32_t>(chars * static_cast<size_t>(mb));
        c.enum_members = d.members;
        for (size_t i = 0; i < d.members.size(); ++i) {
          if (i) c.enum_values.push_back(',');
          AppendSqlStringLiteral(d.members[i], c.enum_values);
        }
        break;
      }
      case kTypeGeometry:
      case kTypeJson:
        c.length = kBlobFrmLength;
        break;
      default:
        break;
    }
    // Pack flags as the server sets them: the type code in bits 3-7 for
    // numbers and times, a binary-sorting collation in bit 0 for strings.
    const bool binsort = c.charset_id == kBinaryCollation || EndsWithBin(c.charset_id);
    if (numeric) {
      c.pack_flags = kPackNumber | (d.is_unsigned ? 0 : kPackSigned) |
                     (d.zerofill ? kPackZerofill : 0) |
                     (static_cast<uint32_t>(not_fixed ? kNotFixedDec : c.decimals) << kDecShift);
      if (c.type != kTypeNewDecimal) c.pack_flags |= static_cast<uint32_t>(c.type) << kPackShift;
    } else if (c.type == kTypeTimestamp || c.type == kTypeTimestamp2) {
      c.pack_flags = kPackNumber | (static_cast<uint32_t>(c.type) << kPackShift);
    } else if (c.type == kTypeYear) {
      c.pack_flags = kPackNumber | kPackZerofill | (static_cast<uint32_t>(c.type) << kPackShift);
    } else if (c.type == kTypeNewDate || c.type == kTypeTime || c.type == kTypeTime2 ||
               c.type == kTypeDateTime || c.type == kTypeDateTime2) {
      c.pack_flags = static_cast<uint32_t>(c.type) << kPackShift;
    } else if (c.type == kTypeBit) {
      c.pack_flags = kPackNumber | (BitFieldsSplit() ? 0 : kPackBitAsChar);
    } else if (IsBlob(c.type) || c.type == kTypeJson) {
      c.pack_flags = kPackBlob | PackLengthFlag(c.type == kTypeJson ? 4 : BlobPrefixBytes(c.type)) |
                     (binsort ? kPackSigned : 0);
    } else if (c.type == kTypeGeometry) {
      c.pack_flags = kPackGeometry | PackLengthFlag(4) | kPackSigned;
    } else if (c.type == kTypeEnum) {
      c.pack_flags = kPackInterval |
                     PackLengthFlag(static_cast<uint32_t>(EnumSize(c.enum_members.size()))) |
                     (binsort ? kPackSigned : 0);
    } else if (c.type == kTypeSet) {
      c.pack_flags = kPackBitfield |
                     PackLengthFlag(static_cast<uint32_t>(SetSize(c.enum_members.size()))) |
                     (binsort ? kPackSigned : 0);
    } else if (c.type == kTypeString || c.type == kTypeVarchar) {
      c.pack_flags = binsort ? kPackSigned : 0;
    }
    c.unsigned_flag = (c.pack_flags & kPackNumber) && !(c.pack_flags & kPackSigned);
    c.zerofill = (c.pack_flags & kPackNumber) && (c.pack_flags & kPackZerofill);
    if (c.nullable) c.pack_flags |= kPackMaybeNull;
    // Defaults, AUTO_INCREMENT and the rest of the definition.
    c.default_value = d.default_value;
    if (c.default_value.kind == ColumnDefault::Kind::kNone && c.nullable && !d.auto_increment &&
        d.generated == Generated::kNo) {
      c.default_value = {ColumnDefault::Kind::kNull, "NULL"};
    }
    // The server keeps the defaults of large columns as expressions.
    if (c.default_value.kind == ColumnDefault::Kind::kLiteral &&
        (IsBlob(c.type) || c.type == kTypeJson || c.type == kTypeGeometry)) {
      c.default_value.kind = ColumnDefault::Kind::kExpression;
    }
    if (c.default_value.kind == ColumnDefault::Kind::kNone && !c.nullable && !d.auto_increment &&
        d.generated == Generated::kNo) {
      c.pack_flags |= kPackNoDefault;
    }
    c.auto_increment = d.auto_increment;
    if (c.auto_increment) c.unireg_check = kUniregNextNumber;
    if (c.type == kTypeTimestamp || c.type == kTypeTimestamp2 || c.type == kTypeDateTime ||
        c.type == kTypeDateTime2) {
      const bool now_default = c.default_value.kind == ColumnDefault::Kind::kExpression &&
                               c.default_value.sql.rfind("current_timestamp(", 0) == 0;
      const bool now_update = !d.on_update.empty();
      if (now_default || now_update) {
        c.unireg_check = now_default && now_update ? kUniregTimestampDnUn
                         : now_default             ? kUniregTimestampDn
                                                   : kUniregTimestampUn;
      }
    }
    c.on_update = d.on_update;
    c.comment = d.comment;
    c.generated = d.generated;
    c.generation_expression = d.generation_expression;
    c.invisible = d.invisible;
    c.check_expression = d.check_expression;
    t_.columns.push_back(std::move(c));
    return true;
  }

  // Engines that keep a BIT column's odd bits among the null bits.
  bool BitFieldsSplit() const {
    const uint8_t e = t_.engine_type;
    return e == kEngineMyIsam || e == kEngineAria || e == kEngineHeap || e == kEngineMergeMyIsam;
  }

  void CreateOptions() {
    uint16_t o = kOptionLongBlobPointer;  // set on every table since MySQL 3.23
    const std::string& rf = t_.options.row_format;
    bool pack = rf == "DYNAMIC" || rf == "PAGE";
    for (const ColumnDef& c : t_.columns) {
      if (IsBlob(c.type) || c.type == kTypeGeometry || c.type == kTypeJson ||
          (c.type == kTypeVarchar && rf != "FIXED")) {
        pack = true;
      }
    }
    if (pack) o |= kOptionPackRecord;
    const TableOptions& opt = t_.options;
    if (opt.pack_keys == 1) o |= kOptionPackKeys;
    if (opt.pack_keys == 0) o |= kOptionNoPackKeys;
    if (opt.checksum) o |= kOptionChecksum;
    if (opt.delay_key_write) o |= kOptionDelayKeyWrite;
    if (opt.stats_persistent == 1) o |= kOptionStatsPersistent;
    if (opt.stats_persistent == 0) o |= kOptionNoStatsPersistent;
    if (!opt.engine_options.empty()) o |= kOptionTextCreateOptions;
    t_.create_options = o;
  }

  // Null bits (one reserved first in fixed rows; BIT leftovers after their
  // column's null bit), then the stored columns, then the virtual ones.
  void Layout() {
    const bool split = BitFieldsSplit();
    int32_t bit = (t_.create_options & kOptionPackRecord) ? 0 : 1;
    for (ColumnDef& c : t_.columns) {
      if (c.nullable) c.null_bit = bit++;
      if (c.type == kTypeBit && split && (c.length & 7) != 0) {
        c.bit_leftover_pos = bit;
        bit += c.length & 7;
      }
    }
    t_.null_bytes = (bit + 7) / 8;
    uint32_t offset = static_cast<uint32_t>(t_.null_bytes);
    for (int pass = 0; pass < 2; ++pass) {
      for (ColumnDef& c : t_.columns) {
        if ((c.generated == Generated::kVirtual) != (pass == 1)) continue;
        c.record_pos = offset + 1;
        offset += PackLength(c, split);
      }
    }
    t_.record_length = static_cast<int32_t>(offset);
  }

  int32_t FindColumn(const std::string& name) const {
    for (size_t i = 0; i < t_.columns.size(); ++i) {
      if (Same(t_.columns[i].name, name)) return static_cast<int32_t>(i);
    }
    return -1;
  }

  // PRIMARY KEY columns are NOT NULL, whatever their definition said.
  void PrimaryNotNull() {
    for (const DeclaredKey& k : d_.keys) {
      if (k.kind != KeyKind::kPrimary) continue;
      for (const DeclaredKeyPart& p : k.parts) {
        const int32_t col = FindColumn(p.column);
        if (col < 0) continue;
        ColumnDef& c = t_.columns[static_cast<size_t>(col)];
        if (!c.nullable) continue;
        c.nullable = 0;
        c.pack_flags &= ~kPackMaybeNull;
        if (c.default_value.kind == ColumnDefault::Kind::kNull) c.default_value = {};
      }
    }
  }

  bool Keys() {
    std::vector<DeclaredKey> keys;
    for (const DeclaredColumn& c : d_.columns) {
      if (c.primary_key) {
        DeclaredKey k;
        k.kind = KeyKind::kPrimary;
        k.name = "PRIMARY";
        k.parts.push_back({c.name, -1, false});
        keys.push_back(std::move(k));
      }
    }
    for (const DeclaredKey& k : d_.keys) keys.push_back(k);
    for (const DeclaredColumn& c : d_.columns) {
      if (c.unique_key) {
        DeclaredKey k;
        k.kind = KeyKind::kUnique;
        k.parts.push_back({c.name, -1, false});
        keys.push_back(std::move(k));
      }
    }
    std::vector<KeyDef> built;
    size_t primaries = 0;
    for (const DeclaredKey& k : keys) {
      KeyDef key;
      key.kind = k.kind;
      key.name = k.name;
      key.comment = k.comment;
      key.parser = k.parser;
      key.ignored = k.ignored;
      key.block_size =
          static_cast<uint16_t>(k.block_size ? k.block_size : t_.options.key_block_size);
      if (key.block_size != 0) key.flags |= kKeyUsesBlockSize;
      key.algorithm = k.algorithm;
      if (k.kind == KeyKind::kPrimary) {
        if (++primaries > 1) return Fail("more than one PRIMARY KEY");
        key.name = "PRIMARY";
      }
      if (k.kind == KeyKind::kPrimary || k.kind == KeyKind::kUnique) key.flags |= kKeyFlagUnique;
      if (k.kind == KeyKind::kFulltext) {
        key.flags |= kKeyFlagFulltext;
      }
      if (k.kind == KeyKind::kSpatial) {
        key.flags |= kKeyFlagSpatial;
      }
      if (!k.comment.empty()) key.flags |= kKeyFlagUsesComment;
      if (!k.parser.empty()) key.flags |= kKeyFlagUsesParser;
      bool long_hash = k.kind == KeyKind::kUnique && k.algorithm == kKeyAlgorithmHash &&
                       t_.engine_type != kEngineHeap;
      uint32_t key_length = 0;
      for (const DeclaredKeyPart& p : k.parts) {
        const int32_t col = FindColumn(p.column);
        if (col < 0)
          return Fail("key " + (k.name.empty() ? std::string("on ") + p.column : k.name) +
                      " names column " + p.column + ", which the table lacks");
        ColumnDef& c = t_.columns[static_cast<size_t>(col)];
        KeyPart part;
        part.field_number = static_cast<uint16_t>(col + 1);
        part.offset = static_cast<uint16_t>(c.record_pos - 1);
        part.descending = p.descending;
        part.part_flag = p.descending ? 0x80 : 0;
        const bool blobish = IsBlob(c.type) || c.type == kTypeGeometry || c.type == kTypeJson;
        uint32_t length;
        if (p.prefix >= 0 && (IsCharType(c.type) || c.type == kTypeGeometry)) {
          length = static_cast<uint32_t>(p.prefix) * static_cast<uint32_t>(MaxBytes(c.charset_id));
        } else if (blobish) {
          length = k.kind == KeyKind::kSpatial    ? kSpatialPart
                   : k.kind == KeyKind::kFulltext ? kFulltextBlobPart
                                                  : 0;
          if (k.kind == KeyKind::kUnique || k.kind == KeyKind::kPrimary) long_hash = true;
        } else if (c.type == kTypeString || c.type == kTypeVarchar) {
          length = static_cast<uint32_t>(c.length);
        } else {
          length = PackLength(c, BitFieldsSplit());
        }
        part.length = static_cast<uint16_t>(length);
        part.key_type = static_cast<uint16_t>(c.pack_flags);
        key_length += length;
        const bool whole_only = k.kind == KeyKind::kFulltext || k.kind == KeyKind::kSpatial;
        if (c.nullable && !whole_only) key.flags |= kKeyNullPart;
        // Long strings are packed in the index, as the server decides it per part.
        if (!whole_only && t_.options.pack_keys != 0 && length >= kKeyDefaultPackLength &&
            (c.type == kTypeString || c.type == kTypeVarchar || IsBlob(c.type))) {
          if (key.parts.empty() && (IsBlob(c.type) || c.type == kTypeVarchar)) {
            key.flags |= kKeyBinaryPack | kKeyVarLength;
          } else {
            key.flags |= kKeyPack;
          }
        }
        key.parts.push_back(part);
      }
      if (long_hash) {
        key.algorithm = kKeyAlgorithmLongHash;
        ++long_hashes_;
      }
      key.key_length = static_cast<uint16_t>(key_length);
      key.part_count = static_cast<uint8_t>(key.parts.size());
      built.push_back(std::move(key));
    }
    // Names of unnamed keys: the first column, made unique as the server does.
    auto taken = [&built](const std::string& name) {
      return std::any_of(built.begin(), built.end(),
                         [&name](const KeyDef& k) { return Same(k.name, name); });
    };
    for (KeyDef& key : built) {
      if (!key.name.empty() || key.parts.empty()) continue;
      const std::string base = t_.columns[key.parts[0].field_number - 1].name;
      std::string name = base;
      for (int n = 2; taken(name); ++n) name = base + "_" + std::to_string(n);
      key.name = name;
    }
    // The server's key order: unique keys first (those without NULL parts
    // first, PRIMARY first among them), FULLTEXT last.
    std::stable_sort(built.begin(), built.end(), [](const KeyDef& a, const KeyDef& b) {
      auto rank = [](const KeyDef& k) {
        if (k.unique()) {
          if (k.is_primary()) return 0;
          return (k.flags & kKeyNullPart) ? 2 : 1;
        }
        return k.kind == KeyKind::kFulltext ? 4 : 3;
      };
      return rank(a) < rank(b);
    });
    t_.keys = std::move(built);
    for (const KeyDef& key : t_.keys) {
      const bool primary = key.is_primary();
      if (!primary && !key.unique()) continue;
      for (const KeyPart& part : key.parts) {
        ColumnDef& col = t_.columns[part.field_number - 1];
        (primary ? col.in_primary_key : col.in_unique_key) = 1;
      }
    }
    return true;
  }

  const DeclaredTable& d_;
  const CollationTable& coll_;
  TableDef& t_;
  TableDefBuild& r_;
  int32_t table_collation_ = 0;
  size_t long_hashes_ = 0;  // each has a hidden 8-byte hash column after the others
};

}  // namespace

uint8_t EngineCodeForName(std::string_view engine) {
  static const std::pair<const char*, uint8_t> kEngines[] = {
      {"InnoDB", kEngineInnoDb},       {"MyISAM", kEngineMyIsam},
      {"MEMORY", kEngineHeap},         {"HEAP", kEngineHeap},
      {"Aria", kEngineAria},           {"CSV", kEngineCsv},
      {"ARCHIVE", kEngineArchive},     {"MRG_MyISAM", kEngineMergeMyIsam},
      {"MERGE", kEngineMergeMyIsam},   {"MRG_MYISAM", kEngineMergeMyIsam},
      {"BLACKHOLE", kEngineBlackhole}, {"FEDERATED", kEngineFederated},
  };
  for (const auto& [name, code] : kEngines) {
    if (Same(engine, name)) return code;
  }
  return 0;
}

TableDefBuild BuildTableDef(const DeclaredTable& declared, const CollationTable& collations,
                            int32_t default_collation, TableDef& out) {
  TableDefBuild result;
  Builder b(declared, collations, out, result);
  result.ok = b.Run(default_collation);
  return result;
}

}  // namespace vostrel
