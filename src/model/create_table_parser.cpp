#include "model/create_table_parser.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "sql/sql_literals.h"

namespace vostrel {

namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

std::string Trimmed(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

struct ParseFailure {
  size_t token;
  std::string message;
};

class Parser {
 public:
  Parser(const SqlStatement& st, std::vector<SqlToken> tokens) : st_(st), t_(std::move(tokens)) {}

  void Table(DeclaredTable& out) {
    out.line = LineAt(st_, t_[0].begin);
    Expect("create");
    if (Accept("or")) Expect("replace");
    if (Accept("temporary")) out.temporary = true;
    Expect("table");
    if (Accept("if")) {
      Expect("not");
      Expect("exists");
    }
    out.name = Name("table name");
    if (AcceptPunct(".")) {
      out.database = out.name;
      out.name = Name("table name");
    }
    if (Is("like") || (IsPunct("(") && IsWordAt(pos_ + 1, "like"))) {
      Fail(
          "CREATE TABLE ... LIKE takes its columns from another table: give that table's "
          "own CREATE TABLE instead");
    }
    if (!IsPunct("(")) {
      Fail("CREATE TABLE without a column list (... SELECT) does not say its column types");
    }
    ExpectPunct("(");
    for (;;) {
      Definition(out);
      if (AcceptPunct(",")) continue;
      ExpectPunct(")");
      break;
    }
    TableOptionsList(out);
    if (Peek().kind != SqlTokenKind::kEnd) Fail("unexpected " + Describe(Peek()));
  }

  [[noreturn]] void Fail(const std::string& message) { throw ParseFailure{pos_, message}; }
  size_t OffsetOf(size_t token) const { return t_[std::min(token, t_.size() - 1)].begin; }

 private:
  const SqlToken& Peek(size_t ahead = 0) const { return t_[std::min(pos_ + ahead, t_.size() - 1)]; }
  bool IsWordAt(size_t at, std::string_view w) const {
    const SqlToken& t = t_[std::min(at, t_.size() - 1)];
    return t.kind == SqlTokenKind::kWord && !t.quoted &&
           strcasecmp(t.text.c_str(), std::string(w).c_str()) == 0;
  }
  bool Is(std::string_view w) const { return IsWordAt(pos_, w); }
  bool IsPunct(std::string_view p) const {
    return Peek().kind == SqlTokenKind::kPunct && Peek().text == p;
  }
  bool Accept(std::string_view w) {
    if (!Is(w)) return false;
    ++pos_;
    return true;
  }
  bool AcceptPunct(std::string_view p) {
    if (!IsPunct(p)) return false;
    ++pos_;
    return true;
  }
  void Expect(std::string_view w) {
    if (!Accept(w)) Fail("expected " + Upper(std::string(w)) + ", found " + Describe(Peek()));
  }
  void ExpectPunct(std::string_view p) {
    if (!AcceptPunct(p)) Fail("expected '" + std::string(p) + "', found " + Describe(Peek()));
  }
  static std::string Describe(const SqlToken& t) {
    switch (t.kind) {
      case SqlTokenKind::kEnd:
        return "the end of the statement";
      case SqlTokenKind::kString:
        return "the string '" + t.text.substr(0, 40) + "'";
      case SqlTokenKind::kWord:
        return t.quoted ? "`" + t.text + "`" : "'" + t.text + "'";
      default:
        return "'" + t.text + "'";
    }
  }
  std::string Name(const char* what) {
    const SqlToken& t = Peek();
    if (t.kind != SqlTokenKind::kWord && t.kind != SqlTokenKind::kString) {
      Fail(std::string("expected a ") + what + ", found " + Describe(t));
    }
    ++pos_;
    return t.text;
  }
  int64_t Number(const char* what) {
    const SqlToken& t = Peek();
    if (t.kind != SqlTokenKind::kNumber ||
        t.text.find_first_not_of("0123456789") != std::string::npos) {
      Fail(std::string("expected a whole number for ") + what + ", found " + Describe(t));
    }
    ++pos_;
    errno = 0;
    const unsigned long long v = std::strtoull(t.text.c_str(), nullptr, 10);
    if (errno != 0 || v > static_cast<unsigned long long>(INT64_MAX))
      Fail(std::string(what) + " is too large");
    return static_cast<int64_t>(v);
  }
  std::string StringValue(const char* what) {
    const SqlToken& t = Peek();
    if (t.kind != SqlTokenKind::kString) Fail(std::string("expected a string for ") + what);
    ++pos_;
    return t.text;
  }
  // A word or string value of an option (ENGINE=InnoDB, ROW_FORMAT=DYNAMIC, ...).
  std::string Value(const char* what) {
    const SqlToken& t = Peek();
    if (t.kind == SqlTokenKind::kEnd || (t.kind == SqlTokenKind::kPunct && t.text != "-")) {
      Fail(std::string("expected a value for ") + what + ", found " + Describe(t));
    }
    ++pos_;
    if (t.kind == SqlTokenKind::kPunct) {  // -1
      const SqlToken& n = Peek();
      ++pos_;
      return "-" + n.text;
    }
    return t.text;
  }
  void SkipEquals() { AcceptPunct("="); }

  // The text between a '(' at pos_ and its ')', which pos_ then passes.
  std::string Parenthesized(const char* what) {
    if (!IsPunct("(")) Fail(std::string("expected '(' to open ") + what);
    const size_t open = pos_;
    int depth = 0;
    for (; pos_ < t_.size(); ++pos_) {
      const SqlToken& t = t_[pos_];
      if (t.kind == SqlTokenKind::kEnd) {
        pos_ = open;
        Fail(std::string("the ") + what + " is not closed");
      }
      if (t.kind != SqlTokenKind::kPunct) continue;
      if (t.text == "(") ++depth;
      if (t.text == ")" && --depth == 0) break;
    }
    const size_t close = pos_++;
    return Trimmed(std::string_view(st_.text).substr(t_[open].end, t_[close].begin - t_[open].end));
  }

  void Definition(DeclaredTable& out) {
    const uint32_t line = LineAt(st_, Peek().begin);
    std::string constraint;
    bool named = false;
    if (Accept("constraint")) {
      named = true;
      if (!Is("primary") && !Is("unique") && !Is("foreign") && !Is("check")) {
        constraint = Name("constraint name");
      }
    }
    if (Accept("primary")) {
      Expect("key");
      DeclaredKey k;
      k.kind = KeyKind::kPrimary;
      k.name = "PRIMARY";
      k.line = line;
      KeyBody(k, false);
      out.keys.push_back(std::move(k));
      return;
    }
    if (Is("unique") || (!named && (Is("key") || Is("index") || Is("fulltext") || Is("spatial")))) {
      DeclaredKey k;
      k.line = line;
      if (Accept("unique")) {
        k.kind = KeyKind::kUnique;
      } else if (Accept("fulltext")) {
        k.kind = KeyKind::kFulltext;
      } else if (Accept("spatial")) {
        k.kind = KeyKind::kSpatial;
      }
      if (!Accept("key")) Accept("index");
      if (k.kind == KeyKind::kUnique && !constraint.empty()) k.name = constraint;
      KeyBody(k, true);
      out.keys.push_back(std::move(k));
      return;
    }
    if (Accept("foreign")) {
      Expect("key");
      ForeignKeyDef fk;
      fk.name = constraint;
      if (!IsPunct("(")) Name("index name");
      fk.columns = NameList();
      References(fk);
      if (fk.name.empty()) {
        size_t n = 0;
        for (const ForeignKeyDef& f : out.foreign_keys)
          n += f.name.rfind(out.name + "_ibfk_", 0) == 0;
        fk.name = out.name + "_ibfk_" + std::to_string(n + 1);
      }
      out.foreign_keys.push_back(std::move(fk));
      return;
    }
    if (Accept("check")) {
      CheckConstraintDef c;
      c.name = constraint;
      c.expression = Parenthesized("CHECK expression");
      if (Accept("not")) Expect("enforced");
      Accept("enforced");
      out.checks.push_back(std::move(c));
      return;
    }
    if (named) Fail("expected PRIMARY KEY, UNIQUE, FOREIGN KEY or CHECK after CONSTRAINT");
    if (Is("period")) Fail("PERIOD FOR (system versioning) is not read");
    Column(out);
  }

  std::vector<std::string> NameList() {
    std::vector<std::string> names;
    ExpectPunct("(");
    do {
      names.push_back(Name("column name"));
    } while (AcceptPunct(","));
    ExpectPunct(")");
    return names;
  }

  void References(ForeignKeyDef& fk) {
    Expect("references");
    fk.ref_table = Name("referenced table");
    if (AcceptPunct(".")) {
      fk.ref_database = fk.ref_table;
      fk.ref_table = Name("referenced table");
    }
    if (IsPunct("(")) fk.ref_columns = NameList();
    if (Accept("match")) Value("MATCH");
    while (Accept("on")) {
      const bool del = Accept("delete");
      if (!del) Expect("update");
      std::string action;
      if (Accept("cascade")) {
        action = "CASCADE";
      } else if (Accept("restrict")) {
        action = "RESTRICT";
      } else if (Accept("set")) {
        if (Accept("null")) {
          action = "SET NULL";
        } else {
          Expect("default");
          action = "SET DEFAULT";
        }
      } else {
        Expect("no");
        Expect("action");
        action = "NO ACTION";
      }
      (del ? fk.on_delete : fk.on_update) = action;
    }
  }

  void IndexType(DeclaredKey& k) {
    const std::string a = Lower(Value("USING"));
    if (a == "btree") {
      k.algorithm = kKeyAlgorithmBtree;
    } else if (a == "hash") {
      k.algorithm = kKeyAlgorithmHash;
    } else if (a == "rtree") {
      k.algorithm = kKeyAlgorithmRtree;
    } else {
      --pos_;
      Fail("unknown index type " + Describe(Peek()));
    }
  }

  void KeyBody(DeclaredKey& k, bool may_name) {
    if (may_name && !IsPunct("(") && !Is("using")) k.name = Name("index name");
    if (Accept("using")) IndexType(k);
    ExpectPunct("(");
    do {
      DeclaredKeyPart p;
      if (IsPunct("(")) Fail("index on an expression (functional key part) is not read");
      p.column = Name("key column");
      if (AcceptPunct("(")) {
        p.prefix = Number("key prefix length");
        ExpectPunct(")");
      }
      if (Accept("desc")) {
        p.descending = true;
      } else {
        Accept("asc");
      }
      k.parts.push_back(std::move(p));
    } while (AcceptPunct(","));
    ExpectPunct(")");
    for (;;) {
      if (Accept("using")) {
        IndexType(k);
      } else if (Accept("key_block_size")) {
        SkipEquals();
        k.block_size = static_cast<uint32_t>(Number("KEY_BLOCK_SIZE"));
      } else if (Accept("comment")) {
        k.comment = StringValue("index COMMENT");
      } else if (Accept("with")) {
        Expect("parser");
        k.parser = Name("parser name");
      } else if (Accept("ignored") || Accept("invisible")) {
        k.ignored = true;
      } else if (Accept("visible")) {
      } else if (Accept("not")) {
        Expect("ignored");
      } else if (Peek().kind == SqlTokenKind::kWord && Peek(1).kind == SqlTokenKind::kPunct &&
                 Peek(1).text == "=") {
        pos_ += 2;  // an engine-defined index option
        Value("index option");
      } else {
        break;
      }
    }
  }

  // The type, then its attributes in any order.
  void Column(DeclaredTable& out) {
    DeclaredColumn c;
    c.line = LineAt(st_, Peek().begin);
    c.name = Name("column name");
    ColumnType(c);
    for (;;) {
      if (IsPunct(",") || IsPunct(")") || Peek().kind == SqlTokenKind::kEnd) break;
      if (!ColumnAttribute(c, out)) Fail("unexpected " + Describe(Peek()) + " in column " + c.name);
    }
    out.columns.push_back(std::move(c));
  }

  void Sizes(DeclaredColumn& c) {
    if (!AcceptPunct("(")) return;
    c.sizes.push_back(Number("type length"));
    if (AcceptPunct(",")) c.sizes.push_back(Number("type scale"));
    ExpectPunct(")");
  }

  void ColumnType(DeclaredColumn& c) {
    const SqlToken& t = Peek();
    if (t.kind != SqlTokenKind::kWord || t.quoted)
      Fail("expected a column type, found " + Describe(t));
    std::string w = Lower(t.text);
    ++pos_;
    static const std::pair<const char*, const char*> kAliases[] = {
        {"int1", "tinyint"},
        {"int2", "smallint"},
        {"int3", "mediumint"},
        {"middleint", "mediumint"},
        {"int4", "int"},
        {"integer", "int"},
        {"int8", "bigint"},
        {"float4", "float"},
        {"float8", "double"},
        {"real", "double"},
        {"dec", "decimal"},
        {"numeric", "decimal"},
        {"fixed", "decimal"},
        {"character", "char"},
        {"nchar", "char"},
        {"nvarchar", "varchar"},
        {"varcharacter", "varchar"},
        {"bool", "boolean"},
    };
    for (const auto& [from, to] : kAliases) {
      if (w == from) w = to;
    }
    if (w == "national") {
      const std::string next = Lower(Name("type"));
      w = next == "varchar" || next == "varcharacter" ? "varchar" : "char";
      if (w == "char" && Accept("varying")) w = "varchar";
      c.charset = "utf8mb3";
    } else if (w == "nchar") {
      c.charset = "utf8mb3";
    }
    if (w == "char" && Accept("varying")) w = "varchar";
    if (w == "double") Accept("precision");
    if (w == "long") {
      if (Accept("varbinary")) {
        w = "mediumblob";
      } else {
        Accept("varchar") || Accept("varcharacter");
        w = "mediumtext";
      }
    }
    if (w == "char" && Accept("byte")) w = "binary";
    c.type = w;
    static const char* const kKnown[] = {"tinyint",
                                         "smallint",
                                         "mediumint",
                                         "int",
                                         "bigint",
                                         "boolean",
                                         "serial",
                                         "float",
                                         "double",
                                         "decimal",
                                         "bit",
                                         "date",
                                         "time",
                                         "datetime",
                                         "timestamp",
                                         "year",
                                         "char",
                                         "varchar",
                                         "binary",
                                         "varbinary",
                                         "tinytext",
                                         "text",
                                         "mediumtext",
                                         "longtext",
                                         "tinyblob",
                                         "blob",
                                         "mediumblob",
                                         "longblob",
                                         "enum",
                                         "set",
                                         "json",
                                         "geometry",
                                         "point",
                                         "linestring",
                                         "polygon",
                                         "multipoint",
                                         "multilinestring",
                                         "multipolygon",
                                         "geometrycollection"};
    if (std::find_if(std::begin(kKnown), std::end(kKnown),
                     [&w](const char* k) { return w == k; }) == std::end(kKnown)) {
      --pos_;
      Fail("column type " + Describe(Peek()) + " is not known");
    }
    if (w == "enum" || w == "set") {
      ExpectPunct("(");
      do {
        c.members.push_back(StringValue("ENUM/SET member"));
      } while (AcceptPunct(","));
      ExpectPunct(")");
    } else {
      Sizes(c);
    }
    if (AcceptPunct(kOldTemporalMark)) {
      if (w != "time" && w != "datetime" && w != "timestamp")
        Fail("old-format mark on a " + w + " column");
      c.old_temporal = true;
    }
    if (w == "boolean") {
      c.type = "tinyint";
      c.sizes = {1};
    }
    if (w == "serial") {
      c.type = "bigint";
      c.is_unsigned = true;
      c.not_null = true;
      c.null_given = true;
      c.auto_increment = true;
      c.unique_key = true;
    }
  }

  // CURRENT_TIMESTAMP, NOW() and their kin, as the server writes them back.
  bool NowFunction(std::string& out) {
    static const char* const kNow[] = {"current_timestamp", "now", "localtime", "localtimestamp"};
    const bool is_now =
        std::any_of(std::begin(kNow), std::end(kNow), [this](const char* w) { return Is(w); });
    if (!is_now) return false;
    ++pos_;
    std::string digits;
    if (AcceptPunct("(")) {
      if (!IsPunct(")")) digits = std::to_string(Number("fractional digits"));
      ExpectPunct(")");
    }
    out = "current_timestamp(" + (digits == "0" ? std::string() : digits) + ")";
    return true;
  }

  void Default(DeclaredColumn& c) {
    ColumnDefault& d = c.default_value;
    const SqlToken& t = Peek();
    std::string now;
    if (IsPunct("(")) {
      d = {ColumnDefault::Kind::kExpression, Parenthesized("DEFAULT expression")};
    } else if (Accept("null")) {
      d = {ColumnDefault::Kind::kNull, "NULL"};
    } else if (Accept("true") || Accept("false")) {
      d = {ColumnDefault::Kind::kLiteral, strcasecmp(t.text.c_str(), "true") == 0 ? "1" : "0"};
    } else if (t.kind == SqlTokenKind::kString) {
      ++pos_;
      d = {ColumnDefault::Kind::kLiteral, SqlStringLiteral(t.text)};
    } else if (t.kind == SqlTokenKind::kNumber || t.kind == SqlTokenKind::kHex ||
               t.kind == SqlTokenKind::kBits) {
      ++pos_;
      d = {ColumnDefault::Kind::kLiteral, t.text};
    } else if (IsPunct("-") || IsPunct("+")) {
      const std::string sign = t.text == "-" ? "-" : "";
      ++pos_;
      if (Peek().kind != SqlTokenKind::kNumber)
        Fail("expected a number after the sign of a DEFAULT");
      d = {ColumnDefault::Kind::kLiteral, sign + Peek().text};
      ++pos_;
    } else if (NowFunction(now)) {
      d = {ColumnDefault::Kind::kExpression, now};
    } else if (t.kind == SqlTokenKind::kWord && Peek(1).kind == SqlTokenKind::kPunct &&
               Peek(1).text == "(") {
      const size_t start = t.begin;
      ++pos_;
      Parenthesized("DEFAULT function");
      d = {ColumnDefault::Kind::kExpression,
           Trimmed(std::string_view(st_.text).substr(start, t_[pos_ - 1].end - start))};
    } else if (t.kind == SqlTokenKind::kWord) {
      ++pos_;
      d = {ColumnDefault::Kind::kExpression, t.text};
    } else {
      Fail("cannot read the DEFAULT of column " + c.name);
    }
  }

  bool ColumnAttribute(DeclaredColumn& c, DeclaredTable& out) {
    if (Accept("unsigned")) {
      c.is_unsigned = true;
    } else if (Accept("signed")) {
    } else if (Accept("zerofill")) {
      c.zerofill = true;
      c.is_unsigned = true;
    } else if (Accept("binary")) {
      c.binary_attribute = true;
    } else if (Accept("ascii")) {
      c.charset = "latin1";
    } else if (Accept("unicode")) {
      c.charset = "ucs2";
    } else if (Accept("byte")) {
      c.charset = "binary";
    } else if (Accept("character")) {
      Expect("set");
      c.charset = Name("character set");
    } else if (Accept("charset")) {
      c.charset = Name("character set");
    } else if (Accept("collate")) {
      c.collation = Name("collation");
    } else if (Accept("null")) {
      c.not_null = false;
      c.null_given = true;
    } else if (Accept("not")) {
      Expect("null");
      c.not_null = true;
      c.null_given = true;
    } else if (Accept("default")) {
      Default(c);
    } else if (Accept("auto_increment")) {
      c.auto_increment = true;
    } else if (Accept("on")) {
      Expect("update");
      if (!NowFunction(c.on_update))
        Fail("ON UPDATE of column " + c.name + " is not CURRENT_TIMESTAMP");
    } else if (Accept("comment")) {
      c.comment = StringValue("column COMMENT");
    } else if (Accept("primary")) {
      Expect("key");
      c.primary_key = true;
    } else if (Accept("key")) {
      c.primary_key = true;
    } else if (Accept("unique")) {
      if (!Accept("key")) Accept("index");
      c.unique_key = true;
    } else if (Accept("generated")) {
      Expect("always");
      Expect("as");
      c.generation_expression = Parenthesized("generation expression");
      c.generated = Generated::kVirtual;
    } else if (Accept("as")) {
      c.generation_expression = Parenthesized("generation expression");
      c.generated = Generated::kVirtual;
    } else if (Accept("virtual")) {
      c.generated = Generated::kVirtual;
    } else if (Accept("stored") || Accept("persistent")) {
      c.generated = Generated::kStored;
    } else if (Accept("invisible")) {
      c.invisible = true;
    } else if (Accept("visible")) {
    } else if (Accept("check")) {
      c.check_expression = Parenthesized("CHECK expression");
    } else if (Accept("constraint")) {
      std::string name;
      if (!Is("check")) name = Name("constraint name");
      Expect("check");
      out.checks.push_back({name, Parenthesized("CHECK expression")});
    } else if (Is("references")) {
      ForeignKeyDef ignored;  // the server ignores column-level REFERENCES
      References(ignored);
    } else if (Accept("column_format") || Accept("storage")) {
      Value("column option");
    } else if (Accept("srid")) {
      Number("SRID");
    } else if (Accept("compressed")) {
      Fail("COMPRESSED columns (MariaDB) are not read");
    } else if (Accept("with") || Accept("without")) {
      Expect("system");
      Expect("versioning");
    } else if (Accept("serial")) {
      Expect("default");
      Expect("value");
      c.auto_increment = true;
      c.not_null = true;
      c.null_given = true;
      c.unique_key = true;
    } else if (Peek().kind == SqlTokenKind::kWord && Peek(1).kind == SqlTokenKind::kPunct &&
               Peek(1).text == "=") {
      pos_ += 2;  // engine-defined column option
      Value("column option");
    } else {
      return false;
    }
    return true;
  }

  void TableOptionsList(DeclaredTable& out) {
    TableOptions& o = out.options;
    for (;;) {
      AcceptPunct(",");
      const SqlToken& t = Peek();
      if (t.kind == SqlTokenKind::kEnd) return;
      if (Is("partition")) {
        // With the leading space the server's .frm keeps.
        o.partition_clause = " " + Trimmed(std::string_view(st_.text).substr(t.begin));
        while (Peek().kind != SqlTokenKind::kEnd) ++pos_;
        return;
      }
      if (Is("as") || Is("select") || Is("ignore") || Is("replace")) {
        Fail("CREATE TABLE ... SELECT does not say its column types");
      }
      if (t.kind != SqlTokenKind::kWord)
        Fail("unexpected " + Describe(t) + " among the table options");
      const std::string w = Lower(t.text);
      ++pos_;
      if (w == "default") {
        continue;  // DEFAULT CHARSET / DEFAULT COLLATE
      } else if (w == "engine" || w == "type") {
        SkipEquals();
        o.engine_name = Value("ENGINE");
      } else if (w == "character" || w == "charset") {
        if (w == "character") Expect("set");
        SkipEquals();
        out.charset = Value("CHARACTER SET");
      } else if (w == "collate") {
        SkipEquals();
        out.collation = Value("COLLATE");
      } else if (w == "auto_increment") {
        SkipEquals();
        o.auto_increment = static_cast<uint64_t>(Number("AUTO_INCREMENT"));
      } else if (w == "comment") {
        SkipEquals();
        o.comment = StringValue("table COMMENT");
      } else if (w == "row_format") {
        SkipEquals();
        o.row_format = Upper(Value("ROW_FORMAT"));
        if (o.row_format == "DEFAULT") o.row_format.clear();
      } else if (w == "key_block_size") {
        SkipEquals();
        o.key_block_size = static_cast<uint32_t>(Number("KEY_BLOCK_SIZE"));
      } else if (w == "max_rows" || w == "min_rows" || w == "avg_row_length" ||
                 w == "stats_sample_pages") {
        SkipEquals();
        const uint64_t n = static_cast<uint64_t>(Number("table option"));
        if (w == "max_rows") o.max_rows = n;
        if (w == "min_rows") o.min_rows = n;
        if (w == "avg_row_length") o.avg_row_length = static_cast<uint32_t>(n);
        if (w == "stats_sample_pages") o.stats_sample_pages = static_cast<uint32_t>(n);
      } else if (w == "checksum" || w == "table_checksum" || w == "delay_key_write" ||
                 w == "pack_keys" || w == "stats_persistent" || w == "stats_auto_recalc" ||
                 w == "page_checksum" || w == "transactional") {
        SkipEquals();
        const std::string v = Lower(Value("table option"));
        const int n = v == "default" ? -1 : (v == "0" ? 0 : 1);
        if (w == "checksum" || w == "table_checksum") o.checksum = n == 1;
        if (w == "delay_key_write") o.delay_key_write = n == 1;
        if (w == "pack_keys") o.pack_keys = n;
        if (w == "stats_persistent") o.stats_persistent = n;
        if (w == "stats_auto_recalc") o.stats_auto_recalc = n;
        if (w == "page_checksum") o.page_checksum = n;
        if (w == "transactional") o.transactional = n;
      } else if (w == "connection") {
        SkipEquals();
        o.connection = StringValue("CONNECTION");
      } else if (w == "data" || w == "index") {
        Expect("directory");
        SkipEquals();
        (w == "data" ? o.data_directory : o.index_directory) = StringValue("DIRECTORY");
      } else if (w == "insert_method") {
        SkipEquals();
        o.insert_method = Upper(Value("INSERT_METHOD"));
      } else if (w == "union") {
        SkipEquals();
        ExpectPunct("(");
        std::string list;
        do {
          std::string name = Name("UNION table");
          if (AcceptPunct("."))
            name = QuoteIdentifier(name) + "." + QuoteIdentifier(Name("UNION table"));
          else
            name = QuoteIdentifier(name);
          list += (list.empty() ? "" : ",") + name;
        } while (AcceptPunct(","));
        ExpectPunct(")");
        o.union_tables = list;
      } else if (w == "tablespace") {
        Name("tablespace");
        if (Accept("storage")) Value("STORAGE");
      } else if (w == "with" || w == "without") {
        Expect("system");
        Expect("versioning");
      } else if (w == "password" || w == "compression" || w == "encryption" || w == "start" ||
                 w == "autoextend_size" || w == "engine_attribute" ||
                 w == "secondary_engine_attribute") {
        if (w == "start")
          Expect("transaction");
        else {
          SkipEquals();
          Value("table option");
        }
      } else if (IsPunct("=")) {
        ++pos_;  // an engine-defined table option (MariaDB): kept as written
        const SqlToken& v = Peek();
        const std::string value =
            v.kind == SqlTokenKind::kString ? SqlStringLiteral(v.text) : v.text;
        Value("table option");
        o.engine_options += " `" + t.text + "`=" + value;
      } else {
        --pos_;
        Fail("unknown table option " + Describe(Peek()));
      }
    }
  }

  const SqlStatement& st_;
  std::vector<SqlToken> t_;
  size_t pos_ = 0;
};

}  // namespace

bool IsCreateTable(const std::vector<SqlToken>& t) {
  auto word = [&t](size_t i, const char* w) {
    return i < t.size() && t[i].kind == SqlTokenKind::kWord && !t[i].quoted &&
           strcasecmp(t[i].text.c_str(), w) == 0;
  };
  size_t i = 0;
  if (!word(i++, "create")) return false;
  if (word(i, "or")) i += 2;
  if (word(i, "temporary")) ++i;
  return word(i, "table");
}

bool ParseCreateTable(const SqlStatement& statement, DeclaredTable& out, SqlParseError& error) {
  std::string lex_error;
  std::vector<SqlToken> tokens = TokenizeSql(statement.text, &lex_error);
  if (!lex_error.empty()) {
    const size_t at = tokens.size() >= 2 ? tokens[tokens.size() - 2].end : 0;
    error = {LineAt(statement, at), lex_error};
    return false;
  }
  Parser p(statement, std::move(tokens));
  out = DeclaredTable{};
  try {
    p.Table(out);
  } catch (const ParseFailure& f) {
    error = {LineAt(statement, p.OffsetOf(f.token)), f.message};
    return false;
  }
  return true;
}

}  // namespace vostrel
