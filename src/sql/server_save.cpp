#include "sql/server_save.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "sql/create_statements.h"
#include "sql/database_end.h"
#include "sql/job_output.h"
#include "sql/script_save.h"
#include "sql/sql_literals.h"
#include "sql/views_triggers.h"

namespace vostrel {

namespace fs = std::filesystem;

std::string ServerCompletionMessage(const ServerSaveResult& r) {
  if (r.success()) return "Saving process completed successfully.";
  const RecoveryReport report = r.report();
  std::string text;
  if (!r.connection_lost.empty()) {
    text = "Saving process stopped: " + r.connection_lost;
  } else if (r.stopped) {
    text = "Saving process was stopped";
  } else if (report.tables.empty() && r.views_created == 0 && r.triggers_created == 0) {
    text = "Nothing was saved: no table, view or trigger was selected";
  } else {
    text = "Saving process completed with problems";
  }
  if (!report.complete()) {
    text += ": " + std::to_string(report.incomplete()) + " of " +
            std::to_string(report.tables.size()) + " tables are not complete";
  }
  if (!r.errors.empty()) text += " (" + std::to_string(r.errors.size()) + " problems in the log)";
  return text;
}

namespace {

class ServerRun {
 public:
  ServerRun(const ScanResult& scan, const ServerParams& params, EngineContext& ctx,
            ServerSaveResult& result, bool deleted = false)
      : scan_(scan),
        params_(params),
        ctx_(ctx),
        result_(result),
        exporter_(scan, ctx, deleted ? result.deleted_errors : result.errors),
        deleted_(deleted),
        accounts_(deleted ? result.deleted_tables : result.tables) {
    for (const std::string& f : scan.m_databaseFolders)
      databases_.push_back(DatabaseDisplayName(f));
  }

  bool lost() const { return !result_.connection_lost.empty(); }

  // A run of one table beside others: the schemas `main` made, and its flag
  // for a lost connection.
  void PrimeFrom(ServerRun& main) {
    schema_ready_ = main.schema_ready_;
    schema_problem_ = main.schema_problem_;
    shared_lost_ = &main.lost_flag_;
  }
  bool EnsureSchemaOf(const TableEntry& entry) {
    return EnsureSchema(scan_.m_databaseFolders[static_cast<size_t>(entry.databaseIndex)]);
  }
  // What a table's run found, after the tables before it.
  void Take(ServerRun* job, ServerSaveResult& job_result) {
    if (job != nullptr) {
      for (auto& [db, fks] : job->deferred_) {
        auto& mine = deferred_[db];
        mine.insert(mine.end(), fks.begin(), fks.end());
      }
    }
    result_.tables.insert(result_.tables.end(), job_result.tables.begin(), job_result.tables.end());
    result_.errors.insert(result_.errors.end(), job_result.errors.begin(), job_result.errors.end());
    if (result_.connection_lost.empty()) result_.connection_lost = job_result.connection_lost;
  }
  // Set once the connection is lost; the export loops watch it.
  std::atomic<bool>* lost_flag() { return &lost_flag_; }

  void Table(const TableEntry& entry) {
    SavedTable saved = exporter_.StartAccount(entry);
    try {
      TableTo(entry, saved);
    } catch (const std::bad_alloc&) {
      saved.Mark(saved.rows > 0 ? TableState::kDamaged : TableState::kNotRead,
                 "out of memory while saving the table");
      Report("Table " + saved.database + "." + saved.table + ": out of memory; the run goes on");
    } catch (const std::exception& e) {
      saved.Mark(saved.rows > 0 ? TableState::kDamaged : TableState::kNotRead,
                 std::string("saving the table failed: ") + e.what());
      Report("Table " + saved.database + "." + saved.table + ": " + e.what());
    }
    accounts_.push_back(saved);
  }

  void Skipped(const TableEntry& entry, const std::string& why) {
    SavedTable saved = exporter_.StartAccount(entry);
    saved.NotRead(why);
    accounts_.push_back(saved);
  }

  void View(const std::string& path) {
    const std::string folder = fs::path(path).parent_path().string();
    const std::string db = DatabaseDisplayName(folder);
    const std::string schema = std::string(kSchemaPrefix) + db;
    if (!EnsureSchema(folder)) {
      Report("View " + path + " is not created: " + schema_problem_[db]);
      return;
    }
    ServerConnection conn;
    if (!UseSchemaOnServer(conn, db)) {
      ctx_.out.WriteLogText(schema + " Database connection not open for views.\r\n");
      Report("views of " + db + ": schema " + schema + " cannot be used: " + conn.error());
      return;
    }
    const std::string text = ctx_.reduced_definitions
                                 ? ViewStatement(path, databases_, ctx_.code_page)
                                 : FullViewStatement(path, databases_, ctx_.code_page);
    if (!text.empty() && conn.Execute(text)) {
      Both("View Created succesfully.");
      NoteDefinerWarnings(conn, "View " + fs::path(path).stem().string());
      ++result_.views_created;
    } else {
      Both("Error executing View.");
      Report("view " + path + ": " + (text.empty() ? "unreadable" : conn.error()));
    }
  }

  void Trigger(const TriggerEntry& entry) {
    const std::string db = DatabaseDisplayName(entry.folderPath);
    const std::string schema = std::string(kSchemaPrefix) + db;
    if (!EnsureSchema(entry.folderPath)) {
      Report("Triggers of " + entry.fileName + " are not created: " + schema_problem_[db]);
      return;
    }
    ServerConnection conn;
    if (!UseSchemaOnServer(conn, db)) {
      ctx_.out.WriteLogText(schema + " Database connection not open for Triggers.\r\n");
      Report("triggers of " + db + ": schema " + schema + " cannot be used: " + conn.error());
      return;
    }
    const fs::path file = fs::path(entry.folderPath) / entry.fileName;
    std::vector<TriggerDefinition> triggers;
    if (ctx_.reduced_definitions) {
      for (std::string& s : TriggerStatements(file, databases_, ctx_.code_page)) {
        TriggerDefinition t;
        t.statement = std::move(s);
        triggers.push_back(std::move(t));
      }
    } else {
      triggers = FullTriggerDefinitions(file, databases_, ctx_.code_page);
    }
    if (triggers.empty()) Report("Trigger definition " + entry.fileName + " cannot be read");
    for (const TriggerDefinition& t : triggers) {
      // Each trigger keeps the sql_mode it was made under; the run's own comes back after it.
      const bool mode =
          t.has_sql_mode && conn.Execute("SET sql_mode=" + SqlStringLiteral(t.sql_mode));
      const bool created = conn.Execute(t.statement);
      const std::string error = conn.error();
      if (created) NoteDefinerWarnings(conn, "Trigger " + t.name);
      if (mode) conn.Execute("SET sql_mode='NO_AUTO_VALUE_ON_ZERO'");
      if (created) {
        Both("Trigger Created Successfully.");
        ++result_.triggers_created;
      } else {
        Both("Error executing Trigger.");
        Report("trigger in " + entry.fileName + ": " + error);
      }
    }
  }

  // The end of every database: its foreign keys, once all its tables hold their rows.
  void FinishDatabases() {
    for (auto& [db, statements] : deferred_) {
      if (lost() || statements.empty()) continue;
      ServerConnection conn;
      if (!conn.Open(params_, std::string(kSchemaPrefix) + db)) {
        Report("foreign keys of " + db + " are not created: " + conn.error());
        continue;
      }
      for (const std::string& s : EndOfDatabaseStatements(statements, false)) {
        if (!conn.Execute(s)) {
          Report("foreign key of " + db + " not created: " + conn.error() + " (" + s + ")");
        }
      }
    }
  }

 private:
  // A definer the server lacks leaves a warning: the DBA must create that account.
  void NoteDefinerWarnings(ServerConnection& conn, const std::string& what) {
    for (const std::string& w : conn.Warnings()) {
      if (w.find("definer") == std::string::npos && w.find("DEFINER") == std::string::npos)
        continue;
      Both(what + ": " + w +
           " - create that account on the server; until then the object fails "
           "when used");
    }
  }

  void TableTo(const TableEntry& entry, SavedTable& saved) {
    const std::string& folder = scan_.m_databaseFolders[static_cast<size_t>(entry.databaseIndex)];
    const std::string schema = std::string(kSchemaPrefix) + DbName(saved.database);
    if (!EnsureSchema(folder)) {
      const std::string text = "Database " + schema + " not created";
      ctx_.out.WriteLogText(text + "\r\n");
      ctx_.out.AddOutputLine(text);
      saved.NotRead(schema_problem_[DbName(saved.database)]);
      return;
    }
    const std::string table_name = OutputTableName(entry.displayName);
    Both("Processing Table " + entry.displayName);
    if (!exporter_.ReadDefinition(entry, saved)) return;
    Both("creating table " + table_name + " ...");
    ServerConnection conn;
    TableDef plain;
    if (deleted_) {
      // Deleted rows may share keys with each other and with live rows.
      plain = exporter_.table();
      plain.keys.clear();
      plain.foreign_keys.clear();
      plain.checks.clear();
      plain.options.auto_increment = 0;
    }
    if (!conn.Open(params_, schema) ||
        !conn.Execute(deleted_
                          ? TableDefinitionStatement(table_name, plain, ctx_.collations, false)
                          : TableDefinitionStatement(table_name, exporter_.table(), ctx_.collations,
                                                     ctx_.reduced_definitions))) {
      Both("Executing query for  " + table_name + " Table Failed");
      const std::string why = "CREATE TABLE failed on the server: " + conn.error();
      saved.NotRead(why);
      Report("table " + saved.database + "." + entry.displayName + ": " + why);
      if (ConnectionGone(conn))
        Lost("the connection to the server was lost (" + conn.error() + ")");
      return;
    }
    if (!ctx_.reduced_definitions && !deleted_) {
      for (std::string& fk : ForeignKeyStatements(table_name, exporter_.table(), databases_)) {
        deferred_[saved.database].push_back(std::move(fk));
      }
    }
    const ServerBulk bulk = BulkFormOf(conn, table_name);
    ServerSink sink(conn, params_, schema, bulk.statements);
    sink.set_table(table_name);
    exporter_.ExportRows(entry, table_name, sink, nullptr, kServerLoops, saved,
                         bulk.load_data ? RowText::kLoadData : RowText::kInsert);
    if (saved.rejected > 0) {
      Report("Table " + saved.database + "." + saved.table + ": " + std::to_string(saved.rejected) +
             " rows rejected by the server; the first: " + sink.last_error());
    }
    if (sink.broken()) {
      saved.Damaged(sink.broken_reason() + " after " + std::to_string(saved.rows) +
                    " rows; whether the rows of the statement being sent then (one row, or a "
                    "batch of them) were stored is not known, the rows after them were not "
                    "sent");
      // A table ended on a connection still open does not end the run.
      if (!conn.is_open() || ConnectionGone(conn)) Lost(sink.broken_reason());
    }
  }

  static bool ConnectionGone(const ServerConnection& conn) {
    return conn.error_code() == 2006 || conn.error_code() == 2013 || conn.error_code() == 2002 ||
           conn.error_code() == 2003;
  }

  void Lost(const std::string& why) {
    if (lost()) return;
    result_.connection_lost = why;
    lost_flag_.store(true);
    if (shared_lost_ != nullptr) shared_lost_->store(true);
    Report("Saving stopped: " + why);
  }

  void Report(const std::string& text) { exporter_.Report(text); }

  void Both(const std::string& text) {
    ctx_.out.AddOutputLine(text);
    ctx_.out.WriteLogText(text + "\r\n");
  }

  // Creates the schema of the database in `folder` once; its tables, views
  // and triggers all depend on how that went. A schema that already exists
  // is not written into: what it holds is not ours.
  bool EnsureSchema(const std::string& folder) {
    const std::string db = DbName(DatabaseDisplayName(folder));
    if (auto it = schema_ready_.find(db); it != schema_ready_.end()) return it->second;
    const std::string schema = std::string(kSchemaPrefix) + db;
    const std::string line = "Creating Database " + schema;
    ctx_.out.AddOutputLine(line);
    ctx_.out.WriteLogText("\r\n" + line + "\r\n");
    const DatabaseOptions opts = ReadDatabaseOptions(folder);
    ServerConnection conn;
    bool ok = conn.Open(params_, "") &&
              conn.Execute(SchemaStatement(db, opts.charset, opts.collation, false));
    if (ok) {
      Both("Database Created successfully....");
    } else {
      std::string why = conn.error_code() == 1007
                            ? "schema " + schema +
                                  " already exists on the server; its tables, "
                                  "views and triggers are not saved (drop or rename it first)"
                            : "schema " + schema + " cannot be created: " + conn.error();
      schema_problem_[db] = why;
      Report(why);
      if (ConnectionGone(conn) || !conn.is_open()) {
        Lost("the server cannot be reached (" + conn.error() + ")");
      }
    }
    schema_ready_[db] = ok;
    return ok;
  }

  std::string DbName(const std::string& database) const {
    return deleted_ ? DeletedDatabaseName(database) : database;
  }

  bool UseSchemaOnServer(ServerConnection& conn, const std::string& db) {
    return conn.Open(params_, "") && conn.Execute(UseStatement(db, false));
  }

  const ScanResult& scan_;
  const ServerParams& params_;
  EngineContext& ctx_;
  ServerSaveResult& result_;
  TableExporter exporter_;
  std::vector<std::string> databases_;
  std::map<std::string, bool> schema_ready_;
  std::map<std::string, std::string> schema_problem_;
  std::atomic<bool> lost_flag_{false};
  std::atomic<bool>* shared_lost_ = nullptr;                  // the whole run's, for a table's run
  std::map<std::string, std::vector<std::string>> deferred_;  // foreign keys per database
  const bool deleted_;
  std::vector<SavedTable>& accounts_;
};

// The tables saved `jobs` at once over connections of their own; each
// table's lines go to the log in the tables' order, whatever the timing.
void SaveTablesAtOnce(const ScanResult& scan, const std::vector<const TableEntry*>& tables,
                      const ServerParams& params, EngineContext& ctx, ServerRun& run,
                      unsigned jobs) {
  // Schemas first, in order, so that the tables' runs only read whether they exist.
  for (const TableEntry* t : tables) run.EnsureSchemaOf(*t);
  SharedProgress progress(ctx.out, tables.size());
  struct Job {
    std::unique_ptr<JobOutput> out;
    ServerSaveResult result;
    std::unique_ptr<EngineContext> ctx;
    std::unique_ptr<ServerRun> run;
    bool done = false;
  };
  std::vector<Job> work(tables.size());
  std::mutex mutex;
  std::condition_variable finished;
  std::atomic<size_t> next{0};
  auto worker = [&] {
    for (;;) {
      const size_t i = next.fetch_add(1);
      if (i >= tables.size()) return;
      Job& job = work[i];
      try {
        job.out = std::make_unique<JobOutput>(progress, i);
        job.ctx = std::make_unique<EngineContext>(EngineContext{
            ctx.collations, ctx.code_page, *job.out, ctx.stop, ctx.blob_file_counter, ctx.abort,
            ctx.reduced_definitions, ctx.extended_insert, ctx.load_data_files, 1});
        job.run = std::make_unique<ServerRun>(scan, params, *job.ctx, job.result);
        job.run->PrimeFrom(run);
        if (job.ctx->stopped()) {
          const bool user = ctx.stop != nullptr && ctx.stop->load();
          job.run->Skipped(*tables[i], user ? "the save was stopped before this table"
                                            : "the save ended when the server connection was lost");
        } else {
          job.run->Table(*tables[i]);
        }
      } catch (const std::exception& e) {
        // Still accounted for, by name.
        const std::string why = std::string("the table's save could not run: ") + e.what();
        job.result.errors.push_back(why);
        if (job.result.tables.empty()) {
          SavedTable saved;
          saved.database = DatabaseDisplayName(
              scan.m_databaseFolders[static_cast<size_t>(tables[i]->databaseIndex)]);
          saved.table = tables[i]->displayName;
          saved.NotRead(why);
          job.result.tables.push_back(saved);
        }
      }
      {
        std::lock_guard<std::mutex> lock(mutex);
        job.done = true;
      }
      finished.notify_all();
    }
  };
  std::vector<std::thread> threads;
  const unsigned n = std::min<unsigned>(jobs, static_cast<unsigned>(tables.size()));
  for (unsigned i = 0; i < n; ++i) {
    try {
      threads.emplace_back(worker);
    } catch (const std::exception&) {
      break;  // fewer threads, or this one alone
    }
  }
  if (threads.empty()) worker();
  for (size_t i = 0; i < work.size(); ++i) {
    {
      std::unique_lock<std::mutex> lock(mutex);
      finished.wait(lock, [&] { return work[i].done; });
    }
    Job& job = work[i];
    {
      std::lock_guard<std::mutex> lock(progress.mutex());
      if (job.out) job.out->ReplayTo(ctx.out);
    }
    run.Take(job.run.get(), job.result);
    job.run.reset();
    job.ctx.reset();
    job.out.reset();
  }
  for (std::thread& t : threads) t.join();
}

}  // namespace

ServerSaveResult RunServerSave(const ScanResult& scan, const std::vector<SelectedItem>& items,
                               const ServerParams& params, EngineContext& ctx) {
  ServerSaveResult result;
  ctx.out.ShowProgress(true);
  ServerRun run(scan, params, ctx, result);
  std::atomic<bool>* const outer_abort = ctx.abort;
  ctx.abort = run.lost_flag();  // a lost connection ends the loops as a stop would
  std::vector<SelectedItem> ordered = OrderViewsByDependency(scan, items);
  if (ctx.jobs > 1) {
    // Tables several at once first; then views and triggers, which need them, in their order.
    std::vector<const TableEntry*> tables;
    std::vector<SelectedItem> rest;
    for (const SelectedItem& item : ordered) {
      const int64_t i = ListIndexOf(item, scan);
      if (i >= 0 && KindOf(item) == ItemKind::kTable) {
        const TableEntry& entry = scan.m_tableEntries[static_cast<size_t>(i)];
        if (entry.databaseIndex >= 0 &&
            static_cast<size_t>(entry.databaseIndex) < scan.m_databaseFolders.size()) {
          tables.push_back(&entry);
        }
      } else {
        rest.push_back(item);
      }
    }
    if (!tables.empty()) SaveTablesAtOnce(scan, tables, params, ctx, run, ctx.jobs);
    if (ctx.stopped() && !run.lost()) result.stopped = true;
    ordered = std::move(rest);
  }
  for (const SelectedItem& item : ordered) {
    ctx.out.SetCaptionText("");
    const int64_t i = ListIndexOf(item, scan);
    if (i < 0) continue;
    const bool table = KindOf(item) == ItemKind::kTable;
    if (ctx.stopped()) {
      if (!run.lost()) result.stopped = true;
      if (table) {
        run.Skipped(scan.m_tableEntries[static_cast<size_t>(i)],
                    run.lost() ? "the save ended when the server connection was lost"
                               : "the save was stopped before this table");
      }
      continue;
    }
    switch (KindOf(item)) {
      case ItemKind::kView:
        run.View(scan.m_viewFiles[static_cast<size_t>(i)]);
        break;
      case ItemKind::kTrigger:
        run.Trigger(scan.m_triggerEntries[static_cast<size_t>(i)]);
        break;
      case ItemKind::kTable: {
        const TableEntry& entry = scan.m_tableEntries[static_cast<size_t>(i)];
        if (entry.databaseIndex >= 0 &&
            static_cast<size_t>(entry.databaseIndex) < scan.m_databaseFolders.size()) {
          run.Table(entry);
        }
        break;
      }
      case ItemKind::kNone:
        break;
    }
  }
  run.FinishDatabases();
  if (ctx.save_deleted_rows && !ctx.stopped()) {
    // Deleted rows after the live ones, into schemas of their own.
    EngineContext deleted_ctx = ctx;
    deleted_ctx.deleted_pass = true;
    ServerRun pass(scan, params, deleted_ctx, result, true);
    deleted_ctx.abort = pass.lost_flag();
    for (const SelectedItem& item : items) {
      if (KindOf(item) != ItemKind::kTable || deleted_ctx.stopped()) continue;
      const int64_t i = ListIndexOf(item, scan);
      if (i < 0) continue;
      const TableEntry& entry = scan.m_tableEntries[static_cast<size_t>(i)];
      if (entry.databaseIndex >= 0 &&
          static_cast<size_t>(entry.databaseIndex) < scan.m_databaseFolders.size()) {
        pass.Table(entry);
      }
    }
    for (const std::string& line : DeletedRowLines(result.deleted_tables)) {
      ctx.out.AddOutputLine(line);
      ctx.out.WriteLogText(line + "\r\n");
    }
    // A stop during the pass is the run's stop too.
    if (ctx.stopped() && result.connection_lost.empty()) result.stopped = true;
  }
  ctx.abort = outer_abort;
  if (ctx.stopped() && result.connection_lost.empty()) result.stopped = true;
  if (items.empty()) {
    const std::string msg = "nothing was selected: " + scan.m_scanPath +
                            " holds no table, view or trigger that could be saved";
    ctx.out.ReportProblem(msg);
    result.errors.push_back(msg);
  }
  ctx.out.ShowProgress(false);
  const std::string message = ServerCompletionMessage(result);
  ctx.out.ShowMessage(message);
  ctx.out.WriteLogText(message == "Saving process completed successfully."
                           ? "Saving process completed successfully....\r\n"
                           : message + "\r\n");
  ctx.out.WriteLogText("\r\n " + std::string(84, '*') + "\r\n");
  return result;
}

}  // namespace vostrel
