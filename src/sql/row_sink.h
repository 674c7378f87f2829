// Where the export loops send their statements: a script file or a server.
#pragma once

#include <string>
#include <string_view>

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
};

}  // namespace vostrel
