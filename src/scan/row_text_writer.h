// Values as the preview grid shows them: a field decoder's writer that fills
// a Row of value texts, bulky values shortened to placeholders.
#pragma once

#include <cstring>
#include <string>
#include <string_view>

#include "model/field_decoder.h"
#include "model/row.h"
#include "model/value_text.h"

namespace vostrel {

class RowTextWriter {
 public:
  // `export_mode` gives every value whole, as a save would.
  explicit RowTextWriter(bool export_mode = false) : export_mode_(export_mode) {}

  void Into(Row& row, size_t columns) {
    row_ = &row;
    row.resize(columns);
  }
  // Columns whose value lies on other pages, for the caller to fill.
  bool external() const { return external_; }
  void ClearExternal() { external_ = false; }

  void Separator() {}
  void Null(size_t i) { (*row_)[i].SetNull(); }
  void Absent(size_t i) { (*row_)[i].Reset(); }
  char* BeginPlain(size_t) { return buf_; }
  void EndPlain(size_t i, char* end) {
    FieldValue& v = Fresh(i);
    v.text.assign(buf_, static_cast<size_t>(end - buf_));
  }
  void Floating(size_t i, const uint8_t* bytes, size_t width) {
    FieldValue& v = Fresh(i);
    if (width == 4) {
      float f;
      std::memcpy(&f, bytes, 4);
      AppendFloat(f, v.text);
    } else {
      double d;
      std::memcpy(&d, bytes, 8);
      AppendDouble(d, v.text);
    }
  }
  bool TakesAsIs(size_t, std::string_view) { return false; }
  void Text(size_t i, std::string_view utf8, size_t stored_length, ValueSize size) {
    FieldValue& v = Fresh(i);
    if (!export_mode_ && size == ValueSize::kBlob && stored_length >= 1000) {
      v.text = kLargeBlobPlaceholder;
    } else {
      v.text.assign(utf8);
    }
  }
  void Bytes(size_t i, std::string_view bytes, ValueSize size) {
    FieldValue& v = Fresh(i);
    if (!export_mode_) {
      if (size == ValueSize::kGeometry) {
        v.text = kSpatialPlaceholder;
        return;
      }
      if (size == ValueSize::kShort && bytes.size() >= 100) {
        v.text = kBinaryPlaceholder;
        return;
      }
      if (size == ValueSize::kBlob && bytes.size() >= 1000) {
        v.text = kLargeBlobPlaceholder;
        return;
      }
    }
    AppendHex(bytes, v.text);
  }
  void Value(size_t i, std::string_view text) { Fresh(i).text.assign(text); }
  void External(size_t i, const StoredField&) {
    Fresh(i);
    external_ = true;
  }

 private:
  FieldValue& Fresh(size_t i) {
    FieldValue& v = (*row_)[i];
    v.Reset();
    return v;
  }

  bool export_mode_;
  Row* row_ = nullptr;
  bool external_ = false;
  char buf_[kMaxValueText + 8];
};

}  // namespace vostrel
