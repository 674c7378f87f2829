// Where the export loops send their statements: a script file or a server.
#pragma once

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
};

}  // namespace vostrel
