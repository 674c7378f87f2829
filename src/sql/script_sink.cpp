#include "sql/script_sink.h"

#include <cerrno>
#include <cstring>

namespace vostrel {

ScriptSink::~ScriptSink() { CloseScript(); }

bool ScriptSink::OpenScript(const std::filesystem::path& path, std::string* error, bool append) {
  CloseScript();
  failed_ = false;
  path_ = path;
  file_ = std::fopen(path.c_str(), append ? "ab" : "wb");
  if (file_ == nullptr) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
  return true;
}

bool ScriptSink::CloseScript() {
  if (file_ == nullptr) return !failed_;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

void ScriptSink::WriteText(std::string_view text) {
  if (file_ == nullptr || text.empty()) return;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
}

bool ScriptSink::ExecuteRow(std::string_view statement) {
  WriteText(statement);
  return !failed_;
}

}  // namespace vostrel
