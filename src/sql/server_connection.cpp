#include "sql/server_connection.h"

#include <errmsg.h>
#include <mysql.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sql/sql_literals.h"

namespace vostrel {

struct ServerConnection::Handle {
  MYSQL* mysql = nullptr;
  bool multi_statements = false;
  bool many_warnings = false;  // max_error_count raised for LOAD DATA's skipped rows
  // What a LOAD DATA LOCAL request of the server gets: the bytes handed to
  // LoadLocal while it runs, and an error at any other time, so that a
  // server can never make the client read a file.
  const char* local = nullptr;
  size_t local_left = 0;
  bool local_armed = false;
  ~Handle() {
    if (mysql != nullptr) mysql_close(mysql);
  }
};

namespace {

// A count or size the server gave as a single value: digits only.
bool ParseCount(const std::string& text, uint64_t& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  value = std::strtoull(text.c_str(), nullptr, 10);
  return true;
}

int LocalInit(void** ptr, const char*, void* userdata) {
  *ptr = userdata;
  return static_cast<ServerConnection::Handle*>(userdata)->local_armed ? 0 : 1;
}
int LocalRead(void* ptr, char* buf, unsigned int len) {
  auto* h = static_cast<ServerConnection::Handle*>(ptr);
  const size_t n = std::min<size_t>(len, h->local_left);
  if (n > 0) std::memcpy(buf, h->local, n);
  h->local += n;
  h->local_left -= n;
  return static_cast<int>(n);
}
void LocalEnd(void*) {}
int LocalError(void*, char* msg, unsigned int len) {
  std::snprintf(msg, len, "this client sends no files");
  return CR_UNKNOWN_ERROR;
}

// "Records: 3  Deleted: 0  Skipped: 1  Warnings: 1" of a LOAD DATA.
uint64_t InfoField(const char* info, const char* name) {
  if (info == nullptr) return 0;
  const char* at = std::strstr(info, name);
  return at == nullptr ? 0 : std::strtoull(at + std::strlen(name), nullptr, 10);
}

}  // namespace

ServerConnection::ServerConnection() = default;
ServerConnection::~ServerConnection() {
  Close();
}

bool ServerConnection::is_open() const {
  return handle_ != nullptr && handle_->mysql != nullptr;
}

void ServerConnection::Close() {
  handle_.reset();
}

bool ServerConnection::Open(const ServerParams& params, const std::string& schema) {
  Close();
  params_ = params;
  schema_ = schema;
  error_.clear();
  error_code_ = 0;
  const unsigned port = static_cast<unsigned>(std::strtoul(params.port.c_str(), nullptr, 10));
  for (const char* charset : {"utf8mb4", "utf8"}) {
    auto h = std::make_unique<Handle>();
    h->mysql = mysql_init(nullptr);
    if (h->mysql == nullptr) {
      error_ = "out of memory";
      return false;
    }
    mysql_options(h->mysql, MYSQL_SET_CHARSET_NAME, charset);
    unsigned timeout = 10;
    mysql_options(h->mysql, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    unsigned local_infile = 1;
    mysql_options(h->mysql, MYSQL_OPT_LOCAL_INFILE, &local_infile);
    mysql_set_local_infile_handler(h->mysql, LocalInit, LocalRead, LocalEnd, LocalError, h.get());
    if (mysql_real_connect(h->mysql, params.host.c_str(), params.user.c_str(),
                           params.password.c_str(), schema.empty() ? nullptr : schema.c_str(), port,
                           params.socket.empty() ? nullptr : params.socket.c_str(), 0) == nullptr) {
      error_ = mysql_error(h->mysql);
      error_code_ = mysql_errno(h->mysql);
      if (error_code_ == CR_CANT_READ_CHARSET || error_code_ == 1115 /* unknown character set */) {
        continue;
      }
      return false;
    }
    handle_ = std::move(h);
    // The same session the scripts set up: UTC timestamps, backslash escapes,
    // zero dates accepted.
    if (!Execute("SET time_zone='+00:00'") || !Execute("SET sql_mode='NO_AUTO_VALUE_ON_ZERO'")) {
      Close();
      return false;
    }
    if (!ParseCount(QueryValue("SELECT @@max_allowed_packet"), max_packet_)) max_packet_ = 0;
    return true;
  }
  return false;
}

bool ServerConnection::Execute(std::string_view sql) {
  if (!is_open()) {
    error_ = "not connected";
    return false;
  }
  MYSQL* m = handle_->mysql;
  if (mysql_real_query(m, sql.data(), sql.size()) != 0) {
    NoteFailure(sql.size());
    return false;
  }
  // Results are not read; every one is released.
  do {
    if (MYSQL_RES* r = mysql_store_result(m)) mysql_free_result(r);
  } while (mysql_next_result(m) == 0);
  return true;
}

void ServerConnection::NoteFailure(size_t sent) {
  MYSQL* m = handle_->mysql;
  error_ = mysql_error(m);
  error_code_ = mysql_errno(m);
  // The packet is the command byte and the statement.
  if ((error_code_ == CR_SERVER_GONE_ERROR || error_code_ == CR_SERVER_LOST) && max_packet_ > 0 &&
      sent + 1 > max_packet_) {
    error_ = "a statement of " + std::to_string(sent) +
             " bytes, larger than the server's max_allowed_packet of " +
             std::to_string(max_packet_) + " bytes (" + error_ + ")";
    error_code_ = 1153;
  }
}

bool ServerConnection::LoadLocal(std::string_view statement, std::string_view data,
                                 RowSink::LoadOutcome& outcome) {
  outcome = RowSink::LoadOutcome{};
  if (!is_open()) {
    error_ = "not connected";
    return false;
  }
  Handle& h = *handle_;
  if (!h.many_warnings) {
    // Every skipped row's warning kept, not the first 64 (the server's most).
    Execute("SET SESSION max_error_count=65535");
    h.many_warnings = true;
  }
  h.local = data.data();
  h.local_left = data.size();
  h.local_armed = true;
  const int failed = mysql_real_query(h.mysql, statement.data(), statement.size());
  h.local_armed = false;
  h.local = nullptr;
  h.local_left = 0;
  if (failed != 0) {
    error_ = mysql_error(h.mysql);
    error_code_ = mysql_errno(h.mysql);
    return false;
  }
  const char* info = mysql_info(h.mysql);
  const uint64_t records = InfoField(info, "Records: ");
  outcome.skipped = InfoField(info, "Skipped: ");
  outcome.stored = records - std::min(records, outcome.skipped);
  const unsigned warnings = mysql_warning_count(h.mysql);
  bool warnings_read = warnings == 0;
  if (warnings > 0 && mysql_query(h.mysql, "SHOW WARNINGS") == 0) {
    if (MYSQL_RES* r = mysql_store_result(h.mysql)) {
      warnings_read = true;
      while (MYSQL_ROW row = mysql_fetch_row(r)) {
        if (mysql_num_fields(r) < 3 || row[0] == nullptr || row[1] == nullptr ||
            row[2] == nullptr) {
          continue;
        }
        // Duplicate keys are what LOAD DATA LOCAL skips rows for; any other
        // warning is a row stored otherwise than it was sent.
        const unsigned code = static_cast<unsigned>(std::strtoul(row[1], nullptr, 10));
        if (code == 1062 || code == 1022 || code == 1169 || code == 1586) {
          outcome.reasons.emplace_back(row[2]);
        } else if (std::string_view(row[0]) != "Note") {
          outcome.altered.emplace_back(row[2]);
        }
      }
      mysql_free_result(r);
    }
  }
  // Warnings that cannot be read may be of changed values: never taken for none.
  if (!warnings_read && warnings > outcome.skipped) {
    outcome.altered.push_back(std::to_string(warnings) + " warnings that could not be read (" +
                              std::string(mysql_error(h.mysql)) + ")");
  }
  return true;
}

size_t ServerConnection::ExecuteSeries(std::string_view sql, size_t count) {
  if (!is_open()) {
    error_ = "not connected";
    return 0;
  }
  MYSQL* m = handle_->mysql;
  if (!handle_->multi_statements) {
    if (mysql_set_server_option(m, MYSQL_OPTION_MULTI_STATEMENTS_ON) != 0) {
      error_ = mysql_error(m);
      error_code_ = mysql_errno(m);
      return 0;
    }
    handle_->multi_statements = true;
  }
  if (mysql_real_query(m, sql.data(), sql.size()) != 0) {
    NoteFailure(sql.size());
    return 0;
  }
  // One result per statement run; the server stops at the first refused.
  size_t ran = 0;
  for (;;) {
    if (MYSQL_RES* r = mysql_store_result(m)) mysql_free_result(r);
    ++ran;
    const int next = mysql_next_result(m);
    if (next == -1) break;
    if (next > 0) {
      error_ = mysql_error(m);
      error_code_ = mysql_errno(m);
      // Whatever else is pending is drained so the connection can go on.
      while (mysql_more_results(m) && mysql_next_result(m) == 0) {
        if (MYSQL_RES* r = mysql_store_result(m)) mysql_free_result(r);
      }
      break;
    }
  }
  return ran < count ? ran : count;
}

std::string ServerConnection::QueryValue(std::string_view sql) {
  std::string value;
  if (!is_open()) return value;
  MYSQL* m = handle_->mysql;
  if (mysql_real_query(m, sql.data(), sql.size()) != 0) {
    error_ = mysql_error(m);
    error_code_ = mysql_errno(m);
    return value;
  }
  if (MYSQL_RES* r = mysql_store_result(m)) {
    if (MYSQL_ROW row = mysql_fetch_row(r); row != nullptr && mysql_num_fields(r) > 0 && row[0]) {
      value = row[0];
    }
    mysql_free_result(r);
  }
  while (mysql_more_results(m) && mysql_next_result(m) == 0) {
    if (MYSQL_RES* r = mysql_store_result(m)) mysql_free_result(r);
  }
  return value;
}

std::vector<std::string> ServerConnection::Warnings() {
  std::vector<std::string> out;
  if (!is_open()) return out;
  MYSQL* m = handle_->mysql;
  if (mysql_warning_count(m) == 0) return out;
  if (mysql_query(m, "SHOW WARNINGS") != 0) return out;
  if (MYSQL_RES* r = mysql_store_result(m)) {
    while (MYSQL_ROW row = mysql_fetch_row(r)) {
      if (mysql_num_fields(r) >= 3 && row[2] != nullptr) out.emplace_back(row[2]);
    }
    mysql_free_result(r);
  }
  return out;
}

bool TestConnection(const ServerParams& params, std::string* error) {
  ServerConnection c;
  const bool ok = c.Open(params, "");
  if (!ok && error) *error = c.error();
  return ok;
}

bool ServerSink::ExecuteRow(std::string_view statement) {
  if (broken_) return false;
  too_large_ = false;
  if (connection_.Execute(statement)) return true;
  AfterRefusal();
  return false;
}

size_t ServerSink::ExecuteSeries(std::string_view text, size_t count) {
  if (broken_) return 0;
  too_large_ = false;
  const size_t ran = connection_.ExecuteSeries(text, count);
  if (ran == count) return ran;
  const bool whole = connection_.error_code() == 1153;
  AfterRefusal();
  // A text refused as too large was not run at all: the rows go one by one.
  return whole ? kNothingRan : ran;
}

bool ServerSink::LoadRows(std::string_view statement, std::string_view data, LoadOutcome& outcome) {
  if (broken_) return false;
  too_large_ = false;
  if (connection_.LoadLocal(statement, data, outcome)) return true;
  AfterRefusal();
  return false;
}

bool ServerSink::CountRows(uint64_t& rows) {
  if (broken_ || table_.empty()) return false;
  std::string query = "SELECT COUNT(*) FROM ";
  AppendQuotedIdentifier(table_, query);
  return ParseCount(connection_.QueryValue(query), rows);
}

void ServerSink::AfterRefusal() {
  last_error_ = connection_.error();
  const unsigned code = connection_.error_code();
  too_large_ = code == 1153;
  if (code == 1153 /* packet too large: the server refused it and hangs up */) {
    if (!connection_.Open(params_, schema_)) {
      broken_ = true;
      broken_reason_ =
          "the connection could not be opened again after a row too large for the "
          "server: " +
          connection_.error();
    }
    return;
  }
  if (code == CR_SERVER_GONE_ERROR || code == CR_SERVER_LOST || !connection_.is_open()) {
    broken_ = true;
    broken_reason_ = "the connection to the server was lost (" + connection_.error() + ")";
  }
}

ServerBulk BulkFormOf(ServerConnection& connection, const std::string& table) {
  std::string query =
      "SELECT CONCAT(e.TRANSACTIONS, ' ', t.ENGINE) FROM information_schema.TABLES t JOIN "
      "information_schema.ENGINES e "
      "ON e.ENGINE = t.ENGINE WHERE t.TABLE_SCHEMA = DATABASE() AND t.TABLE_NAME = ";
  AppendSqlStringLiteral(table, query);
  const std::string answer = connection.QueryValue(query);
  ServerBulk form;
  if (answer.rfind("YES ", 0) == 0) {
    form.statements = RowSink::Bulk::kMultiRow;
  } else if (answer == "NO MyISAM" || answer == "NO Aria") {
    form.statements = RowSink::Bulk::kCountedMultiRow;
  } else {
    form.statements = RowSink::Bulk::kSeries;
    return form;
  }
  // LOAD DATA where the server takes it (local_infile, utf8mb4), tried with
  // no rows.
  std::string probe = "LOAD DATA LOCAL INFILE 'rows' INTO TABLE ";
  AppendQuotedIdentifier(table, probe);
  probe += " CHARACTER SET utf8mb4";
  RowSink::LoadOutcome none;
  form.load_data = connection.LoadLocal(probe, {}, none);
  return form;
}

}  // namespace vostrel
