#include "sql/deleted_rows.h"

#include <cstring>

namespace vostrel {

namespace {

void AppendField(const StoredField& f, std::string& out) {
  const uint32_t n =
      f.state == FieldState::kInline || f.state == FieldState::kExternal ? f.length : 0;
  out.push_back(static_cast<char>(f.state));
  char len[4];
  std::memcpy(len, &n, 4);
  out.append(len, 4);
  if (n != 0) out.append(reinterpret_cast<const char*>(f.data), n);
}

}  // namespace

void RecordKey(const TableDef& table, const RecordFields& r, std::string& key) {
  key.clear();
  for (const KeyDef& k : table.keys) {
    if (!k.is_primary()) continue;
    for (const KeyPart& part : k.parts) {
      const size_t column = part.field_number - 1u;
      if (part.field_number == 0 || column >= r.count) continue;
      AppendField(r.fields[column], key);
    }
    return;
  }
  RecordImage(r, key);
}

void RecordImage(const RecordFields& r, std::string& image) {
  image.clear();
  for (size_t i = 0; i < r.count; ++i) AppendField(r.fields[i], image);
}

bool CollectLiveKeys(TableReader& reader, const TableDef& table, const EngineContext& ctx,
                     std::unordered_set<std::string>& keys) {
  std::unique_ptr<BlockDecoder> decoder = reader.NewDecoder();
  DamageLog damage;
  std::string key;
  uint64_t rows = 0;
  reader.Seek(RecordPosition{});
  for (bool more = true; more && !ctx.stopped();) {
    RecordBlock block;
    while (!ctx.stopped() && reader.NextBlock(block, 1 << 20)) {
      decoder->Decode(
          block,
          [&](const RecordFields& r) {
            RecordKey(table, r, key);
            keys.insert(key);
            ++rows;
            return true;
          },
          damage);
      reader.Consumed(block);
      block.Clear();
    }
    more = reader.Finish(rows);
  }
  return !damage.any() && !reader.damage().any() && !ctx.stopped();
}

}  // namespace vostrel
