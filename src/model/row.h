// One decoded row: a value per column, its NULL-ness kept apart from its text.
#pragma once

#include <string>
#include <vector>

namespace vostrel {

struct FieldValue {
  bool is_null = false;
  // The text is the path of a file the blob writer produced (loaded with LOAD_FILE).
  bool is_blob_file = false;
  std::string text;  // UTF-8 value text

  void SetNull() {
    is_null = true;
    is_blob_file = false;
    text.assign("NULL");
  }
  void Reset() {
    is_null = false;
    is_blob_file = false;
    text.clear();
  }
};

using Row = std::vector<FieldValue>;

// Export gives full values; the preview shows placeholders for bulky ones.
struct DecodeOptions {
  bool export_mode = true;
};

}  // namespace vostrel
