// A connection to a live MySQL or MariaDB server (MariaDB Connector/C).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sql/row_sink.h"

namespace vostrel {

struct ServerParams {
  std::string host;  // "localhost" uses the server's socket
  std::string port = "3306";
  std::string user = "root";
  std::string password;  // never logged
  std::string socket;    // optional unix socket path
};

class ServerConnection {
 public:
  ServerConnection();
  ~ServerConnection();
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  // Opens a connection (with `schema` as its default schema when not empty),
  // in UTF-8 (utf8mb4, or utf8 on servers before 5.5.3) and with the session
  // settings recovered values need.
  bool Open(const ServerParams& params, const std::string& schema);
  void Close();
  bool is_open() const;
  // Runs one statement and discards any result.
  bool Execute(std::string_view sql);
  // The messages of the warnings the last statement left (SHOW WARNINGS).
  std::vector<std::string> Warnings();
  const std::string& error() const { return error_; }
  unsigned error_code() const { return error_code_; }

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
  std::string error_;
  unsigned error_code_ = 0;
  ServerParams params_;
  std::string schema_;
};

// "Connection is successful" when a connection opens.
bool TestConnection(const ServerParams& params, std::string* error);

// Rows go to the server one statement each. A statement the server refused
// as too large for its packet limit ends that connection, so it is opened
// again for the next row; a connection lost any other way breaks the sink,
// since the fate of the statement in flight cannot be known.
class ServerSink : public RowSink {
 public:
  ServerSink(ServerConnection& connection, const ServerParams& params, std::string schema)
      : connection_(connection), params_(params), schema_(std::move(schema)) {}
  bool script_form() const override { return false; }
  bool ExecuteRow(std::string_view statement) override;
  void WriteText(std::string_view) override {}
  std::string last_error() const override { return last_error_; }
  bool broken() const override { return broken_; }
  // Why the sink broke, for the user.
  const std::string& broken_reason() const { return broken_reason_; }

 private:
  ServerConnection& connection_;
  const ServerParams& params_;
  std::string schema_;
  std::string last_error_;
  bool broken_ = false;
  std::string broken_reason_;
};

}  // namespace vostrel
