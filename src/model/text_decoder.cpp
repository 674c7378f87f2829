#include "model/text_decoder.h"

#include <iconv.h>

#include <cerrno>

#include "model/charset_names.h"
#include "model/table_def.h"

namespace vostrel {

struct ColumnTextDecoder::Iconv {
  iconv_t cd = reinterpret_cast<iconv_t>(-1);
  ~Iconv() {
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
};

ColumnTextDecoder::ColumnTextDecoder(int32_t charset_id, const CollationTable& collations,
                                     const CodePage& fallback)
    : fallback_(&fallback) {
  if (charset_id == kBinaryCollation) {
    kind_ = Kind::kBinary;
    return;
  }
  const CollationEntry* e = collations.LookupCollation(charset_id);
  if (e == nullptr) return;
  mbmaxlen_ = e->mbmaxlen > 0 ? e->mbmaxlen : 1;
  mbminlen_ = e->mbminlen > 0 ? e->mbminlen : 1;
  if (IsUtf8Charset(e->charset_name)) {
    kind_ = Kind::kUtf8;
    return;
  }
  const char* name = IconvNameForCharset(e->charset_name);
  if (name == nullptr) return;
  if (e->mbmaxlen == 1) {
    auto cp = std::make_unique<CodePage>(name);
    if (cp->valid()) {
      table_ = std::move(cp);
      kind_ = Kind::kTable;
      return;
    }
  }
  auto ic = std::make_unique<Iconv>();
  ic->cd = iconv_open("UTF-8", name);
  if (ic->cd != reinterpret_cast<iconv_t>(-1)) {
    iconv_ = std::move(ic);
    kind_ = Kind::kIconv;
  }
}

ColumnTextDecoder::~ColumnTextDecoder() = default;
ColumnTextDecoder::ColumnTextDecoder(ColumnTextDecoder&&) noexcept = default;
ColumnTextDecoder& ColumnTextDecoder::operator=(ColumnTextDecoder&&) noexcept = default;

void ColumnTextDecoder::Append(std::string_view bytes, std::string& out) const {
  switch (kind_) {
    case Kind::kUtf8:
      if (IsValidUtf8(bytes)) {
        out.append(bytes);
        return;
      }
      break;
    case Kind::kTable:
      table_->AppendUtf8(bytes, out);
      return;
    case Kind::kIconv: {
      iconv(iconv_->cd, nullptr, nullptr, nullptr, nullptr);
      const size_t start = out.size();
      char* in = const_cast<char*>(bytes.data());
      size_t inleft = bytes.size();
      char buffer[4096];
      bool ok = true;
      while (inleft > 0) {
        char* o = buffer;
        size_t oleft = sizeof buffer;
        const size_t rc = iconv(iconv_->cd, &in, &inleft, &o, &oleft);
        out.append(buffer, static_cast<size_t>(o - buffer));
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
          ok = false;
          break;
        }
      }
      if (ok) return;
      out.resize(start);  // bytes that are not in the character set: keep them via the code page
      break;
    }
    case Kind::kBinary:
    case Kind::kFallback:
      break;
  }
  fallback_->AppendUtf8(bytes, out);
}

}  // namespace vostrel
