#include "innodb/dictionary_table_def.h"

#include <strings.h>

#include <algorithm>
#include <map>

#include "sql/sql_literals.h"

namespace vostrel {

namespace {

// prtype bits beyond the MySQL type code in the low byte.
constexpr uint32_t kPrtypeVirtual = 0x2000;
constexpr uint32_t kCharsetShift = 16;
constexpr uint32_t kCharsetMask = 0x7FFF;
constexpr uint32_t kBlobPointer = 8;  // SYS_COLUMNS.len of a BLOB counts the record's pointer

// SYS_INDEXES.TYPE bits.
constexpr uint32_t kIndexClustered = 1;
constexpr uint32_t kIndexUnique = 2;
constexpr uint32_t kIndexFulltext = 32;
constexpr uint32_t kIndexSpatial = 64;

// SYS_TABLES.TYPE: compressed page size in bits 1-4, DYNAMIC/COMPRESSED in bit 5.
uint32_t ZipSsize(uint32_t type) {
  return (type >> 1) & 0xF;
}
bool AtomicBlobs(uint32_t type) {
  return (type & 0x20) != 0;
}

std::string Join(const std::vector<std::string>& v) {
  std::string s;
  for (const std::string& x : v) s += (s.empty() ? "" : ", ") + x;
  return s;
}

int32_t FractionDigitsFromBytes(uint32_t extra) {
  return static_cast<int32_t>(std::min<uint32_t>(extra, 3) * 2);
}

class Rebuild {
 public:
  Rebuild(const SystemDictionary& dict, const SysTablesRow& row, const CollationTable& coll,
          TableDef& out, DictionaryDefinition& result)
      : dict_(dict), row_(row), coll_(coll), t_(out), r_(result) {}

  bool Run() {
    t_.Clear();
    t_.engine_type = kEngineInnoDb;
    t_.options.engine_name = "InnoDB";
    t_.frm_from_56 = true;
    t_.frm_version = 10;
    t_.layout_unverified = true;
    if (!row_.compact()) {
      t_.options.row_format = "REDUNDANT";
    } else if (ZipSsize(row_.type) != 0) {
      t_.options.row_format = "COMPRESSED";
      t_.options.key_block_size = 1u << (ZipSsize(row_.type) - 1);
    } else {
      t_.options.row_format = AtomicBlobs(row_.type) ? "DYNAMIC" : "COMPACT";
    }
    std::vector<const SysColumnsRow*> cols;
    for (const SysColumnsRow& c : dict_.columns()) {
      if (c.table_id == row_.id) cols.push_back(&c);
    }
    if (cols.empty()) return Fail("SYS_COLUMNS holds no column of the table");
    std::sort(cols.begin(), cols.end(), [](auto* a, auto* b) { return a->pos < b->pos; });
    const bool fulltext =
        std::any_of(dict_.indexes().begin(), dict_.indexes().end(), [this](const SysIndexesRow& i) {
          return i.table_id == row_.id && (i.type & kIndexFulltext);
        });
    size_t virtuals = 0;
    for (const SysColumnsRow* c : cols) {
      if (c->prtype & kPrtypeVirtual) {
        ++virtuals;
        continue;
      }
      if (fulltext && c->name == "FTS_DOC_ID") {
        Guess(
            "FTS_DOC_ID, InnoDB's FULLTEXT document id column, left out (the server adds it "
            "again with the FULLTEXT index)");
        continue;
      }
      if (!Column(*c)) return false;
    }
    if (virtuals > 0) {
      Guess(std::to_string(virtuals) + " VIRTUAL column" + (virtuals > 1 ? "s" : "") +
            " left out (their expressions are in the .frm only; they hold no data)");
    }
    if (t_.columns.empty()) return Fail("the dictionary lists no stored column of the table");
    TableCharset();
    Layout();
    Keys();
    if (!display_widths_.empty()) Guess("display widths of " + Join(display_widths_));
    Guess(
        "column defaults, AUTO_INCREMENT, comments, DESC in index parts and table options "
        "other than ROW_FORMAT are not in the dictionary");
    return true;
  }

 private:
  bool Fail(const std::string& why) {
    r_.error = why;
    return false;
  }
  void Guess(const std::string& what) { r_.guesses.push_back(what); }

  int32_t MaxBytes(int32_t id) const {
    const CollationEntry* e = coll_.LookupCollation(id);
    return e != nullptr && e->mbmaxlen > 0 ? e->mbmaxlen : 1;
  }

  // An integer column of `bytes` bytes.
  static int32_t IntegerType(uint32_t bytes) {
    switch (bytes) {
      case 1:
        return kTypeTiny;
      case 2:
        return kTypeShort;
      case 3:
        return kTypeInt24;
      case 4:
        return kTypeLong;
      case 8:
        return kTypeLongLong;
      default:
        return -1;
    }
  }

  bool Column(const SysColumnsRow& s) {
    ColumnDef c;
    c.name = s.name;
    c.index = static_cast<int32_t>(t_.columns.size());
    c.nullable = (s.prtype & kPrtypeNotNull) ? 0 : 1;
    const uint32_t mysql_type = s.prtype & 0xFF;
    const bool is_unsigned = (s.prtype & kPrtypeUnsigned) != 0;
    int32_t collation = static_cast<int32_t>((s.prtype >> kCharsetShift) & kCharsetMask);
    const bool binary = s.mtype == kDataFixBinary || s.mtype == kDataBinary ||
                        collation == kBinaryCollation || (s.prtype & kPrtypeBinary);
    auto bad = [&](const char* what) {
      return Fail("column " + s.name + ": " + what + " (mtype " + std::to_string(s.mtype) +
                  ", prtype " + std::to_string(s.prtype) + ", len " + std::to_string(s.len) + ")");
    };
    auto integer = [&](int32_t type) {
      c.type = type;
      c.unsigned_flag = is_unsigned;
      c.length = type == kTypeTiny    ? (is_unsigned ? 3 : 4)
                 : type == kTypeShort ? (is_unsigned ? 5 : 6)
                 : type == kTypeInt24 ? (is_unsigned ? 8 : 9)
                 : type == kTypeLong  ? (is_unsigned ? 10 : 11)
                                      : 20;
      c.charset_id = kBinaryCollation;
      display_widths_.push_back(s.name);
    };
    const bool string_type = s.mtype == kDataVarchar || s.mtype == kDataChar ||
                             s.mtype == kDataMysql || s.mtype == kDataVarMysql ||
                             s.mtype == kDataBlob || s.mtype == kDataFixBinary ||
                             s.mtype == kDataBinary;
    if (string_type && collation == 0) collation = binary ? kBinaryCollation : 8;
    switch (mysql_type) {
      case kTypeTiny:
      case kTypeShort:
      case kTypeLong:
      case kTypeLongLong:
      case kTypeInt24:
        if (s.mtype != kDataInt) return bad("integer not stored as an integer");
        integer(static_cast<int32_t>(mysql_type));
        break;
      case kTypeString:
      case kTypeEnum:
      case kTypeSet:
        if (s.mtype == kDataInt) {
          // ENUM and SET are stored as their member numbers; the members are in the .frm only.
          const int32_t type = IntegerType(s.len);
          if (type < 0) return bad("ENUM or SET of an unknown size");
          integer(type);
          c.unsigned_flag = true;
          display_widths_.pop_back();
          c.comment = "ENUM or SET in the lost .frm: the values are member numbers";
          c.guessed = "ENUM or SET kept as its member numbers";
          Guess("ENUM or SET " + s.name +
                " kept as its member numbers (the member names are in "
                "the .frm only)");
          break;
        }
        c.type = kTypeString;
        c.charset_id = binary ? kBinaryCollation : collation;
        c.length = static_cast<int32_t>(s.len);
        break;
      case kTypeFloat:
        c.type = kTypeFloat;
        c.length = 12;
        c.unsigned_flag = is_unsigned;
        break;
      case kTypeDouble:
        c.type = kTypeDouble;
        c.length = 22;
        c.unsigned_flag = is_unsigned;
        break;
      case kTypeNewDecimal:
        // Precision and scale are in the .frm only, and the same stored length fits several
        // of them that read the bytes as different numbers: the bytes are kept as they are.
        c.type = kTypeString;
        c.charset_id = kBinaryCollation;
        c.length = static_cast<int32_t>(s.len);
        c.comment = "DECIMAL in the lost .frm: its " + std::to_string(s.len) +
                    " stored bytes (packed decimal)";
        c.guessed = "DECIMAL kept as its stored bytes";
        Guess("DECIMAL " + s.name + " kept as its " + std::to_string(s.len) +
              " stored bytes (precision and scale are in the .frm only)");
        break;
      case kTypeDecimalOld:
        c.type = kTypeString;
        c.charset_id = 8;
        c.length = static_cast<int32_t>(s.len);
        Guess("old-format DECIMAL " + s.name + " kept as its digits, as text");
        break;
      case kTypeNewDate:
      case kTypeDate:
        c.type = s.len == 3 ? kTypeNewDate : kTypeDate;
        c.length = 10;
        break;
      case kTypeYear:
        c.type = kTypeYear;
        c.length = 4;
        break;
      case kTypeTime:
      case kTypeTime2:
      case kTypeDateTime:
      case kTypeDateTime2:
      case kTypeTimestamp:
      case kTypeTimestamp2: {
        const bool time = mysql_type == kTypeTime || mysql_type == kTypeTime2;
        const bool ts = mysql_type == kTypeTimestamp || mysql_type == kTypeTimestamp2;
        if (s.mtype == kDataInt) {  // the format before MySQL 5.6
          c.type = time ? kTypeTime : ts ? kTypeTimestamp : kTypeDateTime;
        } else {
          c.type = time ? kTypeTime2 : ts ? kTypeTimestamp2 : kTypeDateTime2;
          const uint32_t base = time ? 3 : ts ? 4 : 5;
          if (s.len < base || s.len > base + 3) return bad("time value of an unknown size");
          c.fractional_digits = FractionDigitsFromBytes(s.len - base);
          if (c.fractional_digits > 0) {
            c.guessed = "fractional-second digits";
            Guess("fractional-second digits of " + s.name + " (" +
                  std::to_string(c.fractional_digits) + " taken; " +
                  std::to_string(c.fractional_digits - 1) + " store alike)");
          }
        }
        c.length = (time ? 10 : 19) + (c.fractional_digits ? c.fractional_digits + 1 : 0);
        break;
      }
      case kTypeBit:
        c.type = kTypeBit;
        c.length = static_cast<int32_t>(std::min<uint32_t>(64, s.len * 8));
        c.unsigned_flag = true;
        c.pack_flags = kPackBitAsChar;
        if (s.len * 8 > 1) {
          c.guessed = "BIT width";
          Guess("width of BIT " + s.name + " (" + std::to_string(c.length) +
                " taken from its stored bytes)");
        }
        break;
      case kTypeVarchar:
      case kTypeVarString:
        c.type = mysql_type == kTypeVarString ? kTypeVarString : kTypeVarchar;
        c.charset_id = binary ? kBinaryCollation : collation;
        c.length = static_cast<int32_t>(s.len);
        break;
      case kTypeTinyBlob:
      case kTypeMediumBlob:
      case kTypeLongBlob:
      case kTypeBlob: {
        const uint32_t prefix = s.len > kBlobPointer ? s.len - kBlobPointer : s.len;
        c.type = prefix == 1   ? kTypeTinyBlob
                 : prefix == 2 ? kTypeBlob
                 : prefix == 3 ? kTypeMediumBlob
                               : kTypeLongBlob;
        c.charset_id = binary ? kBinaryCollation : collation;
        c.length = 8;
        break;
      }
      case kTypeJson:
        c.type = kTypeJson;
        c.charset_id = kBinaryCollation;
        c.length = 8;
        break;
      case kTypeGeometry:
        c.type = kTypeGeometry;
        c.charset_id = kBinaryCollation;
        c.length = 8;
        Guess("subtype of geometry column " + s.name + " (GEOMETRY taken)");
        break;
      default:
        return bad("MySQL type code not known");
    }
    if (c.nullable) c.pack_flags |= kPackMaybeNull;
    if (c.nullable) c.default_value = {ColumnDefault::Kind::kNull, "NULL"};
    t_.columns.push_back(std::move(c));
    return true;
  }

  // The most common collation of the string columns stands for the table's.
  void TableCharset() {
    std::map<int32_t, size_t> count;
    for (const ColumnDef& c : t_.columns) {
      const bool chars = c.type == kTypeString || c.type == kTypeVarchar ||
                         c.type == kTypeVarString ||
                         (c.type >= kTypeTinyBlob && c.type <= kTypeBlob);
      if (chars && c.charset_id != kBinaryCollation) ++count[c.charset_id];
    }
    int32_t best = 0;
    size_t n = 0;
    for (const auto& [id, k] : count) {
      if (k > n) {
        best = id;
        n = k;
      }
    }
    t_.table_charset_id = best;
    if (best != 0 && count.size() > 0) {
      const CollationEntry* e = coll_.LookupCollation(best);
      Guess("table default character set (" + (e ? e->collation_name : std::to_string(best)) +
            ", the one most of its columns use)");
    }
  }

  // A record layout like the .frm's; InnoDB's own field list is what reads the rows.
  void Layout() {
    int32_t bit = 1;
    for (ColumnDef& c : t_.columns) {
      if (c.nullable) c.null_bit = bit++;
    }
    t_.null_bytes = (bit + 7) / 8;
    t_.record_length = t_.null_bytes;
  }

  int32_t FindColumn(const std::string& name) const {
    for (size_t i = 0; i < t_.columns.size(); ++i) {
      if (strcasecmp(t_.columns[i].name.c_str(), name.c_str()) == 0) return static_cast<int32_t>(i);
    }
    return -1;
  }

  void Keys() {
    std::vector<const SysIndexesRow*> indexes;
    for (const SysIndexesRow& i : dict_.indexes()) {
      if (i.table_id != row_.id) continue;
      if (i.name == "GEN_CLUST_INDEX" || i.name == "FTS_DOC_ID_INDEX") continue;
      if (!i.name.empty() && static_cast<unsigned char>(i.name[0]) == 0xFF) continue;  // unfinished
      indexes.push_back(&i);
    }
    std::stable_sort(indexes.begin(), indexes.end(), [](auto* a, auto* b) {
      return (a->type & kIndexClustered) > (b->type & kIndexClustered);
    });
    for (const SysIndexesRow* i : indexes) {
      std::vector<const SysFieldsRow*> fields;
      for (const SysFieldsRow& f : dict_.fields()) {
        if (f.index_id == i->id) fields.push_back(&f);
      }
      const bool prefixes = FieldPositionsHavePrefixes(fields);
      std::sort(fields.begin(), fields.end(), [prefixes](auto* a, auto* b) {
        return (prefixes ? a->pos >> 16 : a->pos) < (prefixes ? b->pos >> 16 : b->pos);
      });
      KeyDef key;
      key.name = i->name;
      if ((i->type & kIndexClustered) && strcasecmp(i->name.c_str(), "PRIMARY") == 0) {
        key.kind = KeyKind::kPrimary;
      } else if (i->type & kIndexFulltext) {
        key.kind = KeyKind::kFulltext;
        key.flags |= kKeyFlagFulltext;
      } else if (i->type & kIndexSpatial) {
        key.kind = KeyKind::kSpatial;
        key.flags |= kKeyFlagSpatial;
      } else if (i->type & (kIndexUnique | kIndexClustered)) {
        key.kind = KeyKind::kUnique;
      }
      if (key.kind == KeyKind::kPrimary || key.kind == KeyKind::kUnique)
        key.flags |= kKeyFlagUnique;
      bool usable = !fields.empty();
      for (const SysFieldsRow* f : fields) {
        const int32_t col = FindColumn(f->col_name);
        if (col < 0) {
          usable = false;
          break;
        }
        const ColumnDef& c = t_.columns[static_cast<size_t>(col)];
        KeyPart part;
        part.field_number = static_cast<uint16_t>(col + 1);
        const uint32_t prefix = prefixes ? (f->pos & 0xFFFF) : 0;
        part.length =
            static_cast<uint16_t>(prefix != 0                                      ? prefix
                                  : c.type >= kTypeTinyBlob && c.type <= kTypeBlob ? 0
                                                                                   : c.length);
        key.parts.push_back(part);
      }
      if (!usable) {
        Guess("index " + i->name + " left out (it names a column the table lacks)");
        continue;
      }
      key.part_count = static_cast<uint8_t>(key.parts.size());
      t_.keys.push_back(std::move(key));
    }
    for (const KeyDef& key : t_.keys) {
      if (!key.unique()) continue;
      for (const KeyPart& part : key.parts) {
        ColumnDef& col = t_.columns[part.field_number - 1];
        (key.is_primary() ? col.in_primary_key : col.in_unique_key) = 1;
      }
    }
  }

  const SystemDictionary& dict_;
  const SysTablesRow& row_;
  const CollationTable& coll_;
  TableDef& t_;
  DictionaryDefinition& r_;
  std::vector<std::string> display_widths_;
};

}  // namespace

DictionaryDefinition BuildTableDefFromDictionary(const SystemDictionary& dictionary,
                                                 const SysTablesRow& row,
                                                 const CollationTable& collations, TableDef& out) {
  DictionaryDefinition result;
  Rebuild r(dictionary, row, collations, out, result);
  result.ok = r.Run();
  return result;
}

}  // namespace vostrel
