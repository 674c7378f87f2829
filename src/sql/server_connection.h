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
  // Runs `count` statements sent together (back to back, each ending in ';')
  // in one round trip; returns how many ran before the first one refused.
  size_t ExecuteSeries(std::string_view sql, size_t count);
  // The first column of the first row of a query's result; empty when the
  // query failed or gave no row.
  std::string QueryValue(std::string_view sql);
  // Runs a LOAD DATA LOCAL INFILE statement with `data` as the file the
  // server asks for, whatever name it gives: no file is ever read here.
  bool LoadLocal(std::string_view statement, std::string_view data, RowSink::LoadOutcome& outcome);
  // The messages of the warnings the last statement left (SHOW WARNINGS).
  std::vector<std::string> Warnings();
  const std::string& error() const { return error_; }
  unsigned error_code() const { return error_code_; }
  // The error of a statement of `sent` bytes the client library reported.
  // A server hangs up on a statement larger than its max_allowed_packet
  // without running it, and the client may then see only a lost
  // connection: that is taken as the refusal it is (1153).
  void NoteFailure(size_t sent);

  // The client library's state; opaque outside the connection's own file.
  struct Handle;

 private:
  std::unique_ptr<Handle> handle_;
  std::string error_;
  unsigned error_code_ = 0;
  uint64_t max_packet_ = 0;  // the server's max_allowed_packet; 0 when not known
  ServerParams params_;
  std::string schema_;
};

// "Connection is successful" when a connection opens.
bool TestConnection(const ServerParams& params, std::string* error);

// Rows go to the server one statement each. A statement the server refused
// as too large for its packet limit ends that connection, so it is opened
// again for the next row; a connection lost any other way breaks the sink,
// since the fate of the statement in flight cannot be known.
//
// In bulk, a table whose engine undoes a refused statement whole (InnoDB)
// takes multi-row INSERTs, each its own transaction; MyISAM and Aria keep
// the rows before a refused one and count exactly, which says which it was;
// other engines may keep part of a refused multi-row INSERT, so theirs go as
// single-row statements sent together, which the server runs up to the
// first one refused. Rows in LOAD DATA's form go by LoadRows.
class ServerSink : public RowSink {
 public:
  ServerSink(ServerConnection& connection, const ServerParams& params, std::string schema,
             Bulk bulk = Bulk::kNone)
      : connection_(connection), params_(params), schema_(std::move(schema)), bulk_(bulk) {}
  bool script_form() const override { return false; }
  bool ExecuteRow(std::string_view statement) override;
  Bulk bulk() const override { return bulk_; }
  bool LoadRows(std::string_view statement, std::string_view data, LoadOutcome& outcome) override;
  size_t ExecuteSeries(std::string_view text, size_t count) override;
  bool CountRows(uint64_t& rows) override;
  bool too_large() const override { return too_large_; }
  void Break(const std::string& why) override {
    broken_ = true;
    broken_reason_ = why;
  }
  // The table the rows go to, for CountRows.
  void set_table(std::string table) { table_ = std::move(table); }
  void WriteText(std::string_view) override {}
  std::string last_error() const override { return last_error_; }
  bool broken() const override { return broken_; }
  // Why the sink broke, for the user.
  const std::string& broken_reason() const { return broken_reason_; }

 private:
  ServerConnection& connection_;
  const ServerParams& params_;
  std::string schema_;
  const Bulk bulk_;
  std::string table_;
  bool too_large_ = false;
  std::string last_error_;
  bool broken_ = false;
  std::string broken_reason_;

  // After a refusal: opens the connection again when the server hung up on
  // a packet too large, or breaks the sink when the connection is gone.
  void AfterRefusal();
};

// How the table `table` of the connection's schema takes rows in bulk:
// statements by whether its engine, as the server made it, undoes a refused
// statement whole, or else keeps an exact row count; and, for those two
// kinds, rows by LOAD DATA LOCAL where the server takes it, since it skips
// and names each row with a duplicate key instead of refusing the
// statement.
struct ServerBulk {
  RowSink::Bulk statements = RowSink::Bulk::kNone;
  bool load_data = false;
};
ServerBulk BulkFormOf(ServerConnection& connection, const std::string& table);

}  // namespace vostrel
