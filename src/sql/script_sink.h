// The script file of one database: UTF-8 without BOM, CR LF line ends,
// written through a large buffer.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "sql/row_sink.h"

namespace vostrel {

class ScriptSink : public RowSink {
 public:
  ScriptSink() = default;
  ~ScriptSink() override;
  ScriptSink(const ScriptSink&) = delete;
  ScriptSink& operator=(const ScriptSink&) = delete;

  // `append` continues a script written earlier in the same run.
  bool OpenScript(const std::filesystem::path& path, std::string* error, bool append = false);
  // False when any write failed (a full disk must not pass for a saved script).
  bool CloseScript();
  bool is_open() const { return file_ != nullptr; }
  bool failed() const { return failed_; }
  const std::filesystem::path& path() const { return path_; }

  bool script_form() const override { return true; }
  bool ExecuteRow(std::string_view statement) override;
  void WriteText(std::string_view text) override;
  void WriteLineEnd() { WriteText("\r\n"); }

 private:
  std::FILE* file_ = nullptr;
  bool failed_ = false;
  std::filesystem::path path_;
};

}  // namespace vostrel
