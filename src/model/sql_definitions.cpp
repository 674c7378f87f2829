#include "model/sql_definitions.h"

#include <strings.h>

#include "model/file_util.h"

namespace vostrel {

namespace {

constexpr uint64_t kMaxDefinitionFile = 4ull * 1024 * 1024 * 1024;

bool Same(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool Word(const std::vector<SqlToken>& t, size_t i, const char* w) {
  return i < t.size() && t[i].kind == SqlTokenKind::kWord && !t[i].quoted &&
         strcasecmp(t[i].text.c_str(), w) == 0;
}

// The first few tokens of a statement, enough to tell what it is: a dump's
// INSERT lines are never tokenized whole.
std::vector<SqlToken> Head(const SqlStatement& st, size_t bytes) {
  const size_t n = std::min(st.text.size(), bytes);
  std::string error;
  std::vector<SqlToken> t = TokenizeSql(std::string_view(st.text).substr(0, n), &error);
  return t;
}

// CREATE DATABASE name ... [DEFAULT] CHARACTER SET x [COLLATE y]
void ReadCreateDatabase(const SqlStatement& st, SqlDefinitionSet& set) {
  std::string error;
  const std::vector<SqlToken> t = TokenizeSql(st.text, &error);
  size_t i = 2;
  if (Word(t, i, "if")) i += 3;
  if (i >= t.size() || t[i].kind != SqlTokenKind::kWord) return;
  const std::string db = t[i].text;
  std::string charset;
  std::string collation;
  for (size_t k = i + 1; k + 1 < t.size(); ++k) {
    size_t v = k + 1;
    if (Word(t, k, "character") && Word(t, k + 1, "set"))
      v = k + 2;
    else if (!Word(t, k, "charset") && !Word(t, k, "collate"))
      continue;
    if (v < t.size() && t[v].kind == SqlTokenKind::kPunct && t[v].text == "=") ++v;
    if (v >= t.size() || t[v].kind == SqlTokenKind::kEnd) break;
    (Word(t, k, "collate") ? collation : charset) = t[v].text;
  }
  if (!collation.empty()) {
    set.database_charsets[db] = collation;
  } else if (!charset.empty()) {
    set.database_charsets[db] = charset;
  }
}

}  // namespace

const SqlDefinition* SqlDefinitionSet::Find(std::string_view database,
                                            std::string_view table) const {
  const SqlDefinition* any = nullptr;
  for (auto it = tables.rbegin(); it != tables.rend(); ++it) {  // the last one wins
    if (!Same(it->declared.name, table)) continue;
    if (Same(it->declared.database, database)) return &*it;
    if (it->declared.database.empty() && any == nullptr) any = &*it;
  }
  return any;
}

SqlDefinitionLoad ParseSqlDefinitions(std::string_view text, const std::string& source,
                                      const CollationTable* collations) {
  SqlDefinitionLoad load;
  load.set.path = source;
  std::string current_db;
  for (const SqlStatement& st : SplitSqlScript(text)) {
    const std::vector<SqlToken> head = Head(st, 512);
    const std::string where =
        source + " line " + std::to_string(LineAt(st, head.empty() ? 0 : head[0].begin));
    if (Word(head, 0, "use") && head.size() > 1 && head[1].kind == SqlTokenKind::kWord) {
      current_db = head[1].text;
      continue;
    }
    if (Word(head, 0, "create") && (Word(head, 1, "database") || Word(head, 1, "schema"))) {
      ReadCreateDatabase(st, load.set);
      continue;
    }
    if (Word(head, 0, "alter") && Word(head, 1, "table") && head.size() > 3 &&
        !Word(head, 3, "disable") && !Word(head, 3, "enable")) {
      load.set.notes.push_back(where + ": ALTER TABLE " + head[2].text +
                               " is not applied: the definitions come from CREATE TABLE alone");
      continue;
    }
    if (!IsCreateTable(head)) continue;
    SqlDefinition def;
    SqlParseError error;
    if (!ParseCreateTable(st, def.declared, error)) {
      load.errors.push_back(source + " line " + std::to_string(error.line) + ": " + error.message);
      continue;
    }
    if (def.declared.temporary) {
      load.set.notes.push_back(where + ": CREATE TEMPORARY TABLE " + def.declared.name +
                               " is left out (temporary tables keep no files)");
      continue;
    }
    if (def.declared.database.empty()) def.declared.database = current_db;
    def.where = source + " line " + std::to_string(def.declared.line);
    if (collations != nullptr && !collations->empty()) {
      TableDef probe;
      const TableDefBuild b = BuildTableDef(def.declared, *collations, 0, probe);
      if (!b.ok) {
        load.errors.push_back(def.where + ": table " + def.declared.name + ": " + b.error);
        continue;
      }
    }
    for (const SqlDefinition& before : load.set.tables) {
      if (Same(before.declared.name, def.declared.name) &&
          Same(before.declared.database, def.declared.database)) {
        load.set.notes.push_back(def.where + ": table " + def.declared.name +
                                 " is defined again (first at " + before.where +
                                 "): the later statement is used");
      }
    }
    load.set.tables.push_back(std::move(def));
  }
  load.ok = load.errors.empty();
  return load;
}

SqlDefinitionLoad LoadSqlDefinitions(const std::filesystem::path& path,
                                     const CollationTable* collations) {
  std::string text;
  std::string error;
  if (!ReadWholeFile(path, text, kMaxDefinitionFile)) {
    SqlDefinitionLoad load;
    load.errors.push_back("cannot read the definitions file " + path.string());
    return load;
  }
  SqlDefinitionLoad load = ParseSqlDefinitions(text, path.filename().string(), collations);
  load.set.path = path.string();
  if (load.set.tables.empty() && load.errors.empty()) {
    load.errors.push_back(path.string() + " holds no CREATE TABLE statement");
    load.ok = false;
  }
  return load;
}

TableDefBuild BuildDefinitionTable(const SqlDefinitionSet& set, const SqlDefinition& def,
                                   const CollationTable& collations, int32_t database_collation,
                                   TableDef& out) {
  int32_t fallback = database_collation;
  const auto it = set.database_charsets.find(def.declared.database);
  if (it != set.database_charsets.end()) {
    if (const int32_t id = collations.FindCollation(it->second)) {
      fallback = id;
    } else if (const int32_t cs = collations.DefaultCollation(it->second)) {
      fallback = cs;
    }
  }
  return BuildTableDef(def.declared, collations, fallback, out);
}

}  // namespace vostrel
