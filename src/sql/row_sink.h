// Where the export loops send their statements: a script file or a server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vostrel {

class RowSink {
 public:
  virtual ~RowSink() = default;
  // Script statements end in CR LF and MyISAM tables close with COMMIT.
  virtual bool script_form() const = 0;
  // False when the statement was rejected; the loop then logs it and goes on.
  virtual bool ExecuteRow(std::string_view statement) = 0;
  // Text outside the rows (COMMIT, line ends); ignored by a server.
  virtual void WriteText(std::string_view text) = 0;
  // Why the last statement was rejected (the server's own words).
  virtual std::string last_error() const { return {}; }
  // True once nothing more can be sent (a server connection that was lost):
  // the loops stop, and the fate of the statement in flight is not known.
  virtual bool broken() const { return false; }

  // How a server takes rows in bulk. kMultiRow: several rows in one INSERT,
  // for a table whose engine undoes a refused statement whole, so that a
  // refused bulk INSERT can be sent again row by row. kSeries: single-row
  // statements sent together, run in order up to the first one refused.
  // kCountedMultiRow: several rows in one INSERT into an engine that keeps
  // the rows before the one refused and whose row count is exact (MyISAM,
  // Aria): the count then says which row was refused. Rows in LOAD DATA's
  // text form go through LoadRows whatever the kind; the kind still says
  // how statements (a deleted pass) go.
  enum class Bulk { kNone, kMultiRow, kSeries, kCountedMultiRow };
  virtual Bulk bulk() const { return Bulk::kNone; }
  // kSeries: runs the `count` statements of `text` (back to back, each ending
  // in ';') and returns how many ran before the first refusal (`count` when
  // none was refused), or kNothingRan when the server refused the whole text.
  static constexpr size_t kNothingRan = static_cast<size_t>(-1);
  virtual size_t ExecuteSeries(std::string_view text, size_t count) {
    (void)text;
    (void)count;
    return kNothingRan;
  }
  // kCountedMultiRow: the rows the table holds now; false when not known.
  virtual bool CountRows(uint64_t& rows) {
    (void)rows;
    return false;
  }
  // Runs `statement` (LOAD DATA LOCAL INFILE) with `data` as the file's
  // content. False when the server refused it.
  struct LoadOutcome {
    uint64_t stored = 0;               // rows the server took
    uint64_t skipped = 0;              // rows it skipped (duplicate keys)
    std::vector<std::string> reasons;  // its words for the skipped rows, as many as it kept
    // Its other warnings: values it changed (cut, or turned into another),
    // as many as it kept.
    std::vector<std::string> altered;
  };
  virtual bool LoadRows(std::string_view statement, std::string_view data, LoadOutcome& outcome) {
    (void)statement;
    (void)data;
    (void)outcome;
    return false;
  }
  // The last statement was refused whole as larger than the server takes.
  virtual bool too_large() const { return false; }
  // Ends the sink's use when the fate of rows sent cannot be known.
  virtual void Break(const std::string& why) { (void)why; }
};

}  // namespace vostrel
