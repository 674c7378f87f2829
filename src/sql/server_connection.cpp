#include "sql/server_connection.h"

#include <errmsg.h>
#include <mysql.h>

#include <cstdlib>

namespace vostrel {

struct ServerConnection::Handle {
  MYSQL* mysql = nullptr;
  ~Handle() {
    if (mysql != nullptr) mysql_close(mysql);
  }
};

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
    error_ = mysql_error(m);
    error_code_ = mysql_errno(m);
    return false;
  }
  // Results are not read; every one is released.
  do {
    if (MYSQL_RES* r = mysql_store_result(m)) mysql_free_result(r);
  } while (mysql_next_result(m) == 0);
  return true;
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
  if (connection_.Execute(statement)) return true;
  last_error_ = connection_.error();
  const unsigned code = connection_.error_code();
  if (code == 1153 /* packet too large: the server refused it and hangs up */) {
    if (!connection_.Open(params_, schema_)) {
      broken_ = true;
      broken_reason_ =
          "the connection could not be opened again after a row too large for the "
          "server: " +
          connection_.error();
    }
    return false;
  }
  if (code == CR_SERVER_GONE_ERROR || code == CR_SERVER_LOST || !connection_.is_open()) {
    broken_ = true;
    broken_reason_ = "the connection to the server was lost (" + connection_.error() + ")";
  }
  return false;
}

}  // namespace vostrel
