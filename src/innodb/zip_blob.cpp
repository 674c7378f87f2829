#include "innodb/zip_blob.h"

#include <zlib.h>

#include <unordered_set>

#include "innodb/page.h"
#include "innodb/zip_page.h"

namespace vostrel {

namespace {

constexpr size_t kFilNext = 12;  // the reference's offset when the value starts a page
constexpr size_t kFilData = 38;
constexpr size_t kChunk = 64 * 1024;

struct Inflater {
  z_stream zs{};
  bool ready = false;
  Inflater() { ready = inflateInit(&zs) == Z_OK; }
  ~Inflater() {
    if (ready) inflateEnd(&zs);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
};

}  // namespace

ZipBlobResult ReadZipBlob(const ZipPageReader& read_page, size_t zip_size, const ExternRef& ref,
                          uint64_t max_pages,
                          const std::function<void(const uint8_t*, size_t)>& sink) {
  ZipBlobResult r;
  uint64_t left = ref.length;
  if (left == 0) return r;
  Inflater in;
  if (!in.ready) {
    r.problem = "zlib cannot be set up";
    return r;
  }
  std::vector<uint8_t> page;
  std::vector<uint8_t> buf(kChunk);
  std::unordered_set<uint32_t> seen;
  uint32_t p = ref.page;
  size_t offset = ref.offset;
  uint16_t want_type = kPageTypeZBlob;
  auto fail = [&](std::string why) {
    r.problem = std::move(why) + " after " + std::to_string(r.bytes) + " of " +
                std::to_string(ref.length) + " bytes";
    return r;
  };
  while (left > 0) {
    const std::string at = "page " + std::to_string(p);
    if (p == kFilNull) return fail("the value page chain ends");
    if (r.pages >= max_pages) return fail("the value page chain is longer than the file");
    if (!seen.insert(p).second) return fail("the value page chain loops back to " + at);
    if (!read_page(p, page) || page.size() < zip_size)
      return fail("the value page chain leaves the file at " + at);
    ++r.pages;
    const uint8_t* pg = page.data();
    if (PageU32(pg, 4) != p) return fail(at + " holds page " + std::to_string(PageU32(pg, 4)));
    const uint16_t type = PageU16(pg, 24);
    if (type != want_type) {
      return fail(at + " has page type " + std::to_string(type) + ", not a compressed value page");
    }
    if (offset < kFilNext || offset + 4 > zip_size)
      return fail("the value reference points outside " + at);
    const uint32_t next = PageU32(pg, offset);
    const size_t data_at = offset == kFilNext ? kFilData : offset + 4;
    in.zs.next_in = const_cast<Bytef*>(pg + data_at);
    in.zs.avail_in = static_cast<uInt>(zip_size - data_at);
    bool ended = false;
    while (in.zs.avail_in > 0 && left > 0) {
      const uInt room = static_cast<uInt>(left < buf.size() ? left : buf.size());
      in.zs.next_out = buf.data();
      in.zs.avail_out = room;
      const uInt in_before = in.zs.avail_in;
      const int z = inflate(&in.zs, Z_NO_FLUSH);
      const size_t got = room - in.zs.avail_out;
      if (got > 0) {
        sink(buf.data(), got);
        r.bytes += got;
        left -= got;
      }
      if (z == Z_STREAM_END) {
        ended = true;
        break;
      }
      if ((z != Z_OK && z != Z_BUF_ERROR) || (got == 0 && in.zs.avail_in == in_before)) {
        return fail(std::string("the compressed value is damaged on ") + at + " (" +
                    (in.zs.msg ? in.zs.msg : "no progress") + ")");
      }
    }
    if (ended) {
      if (left > 0) return fail("the compressed value ends on " + at);
      break;
    }
    p = next;
    offset = kFilNext;
    want_type = kPageTypeZBlob2;
  }
  return r;
}

}  // namespace vostrel
