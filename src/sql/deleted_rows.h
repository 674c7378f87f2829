// What tells a deleted record from a stale copy of a live row: a page split
// leaves the moved records on the old page's free list, byte for byte.
#pragma once

#include <string>
#include <unordered_set>

#include "model/engine_context.h"
#include "model/stored_field.h"
#include "model/table_def.h"
#include "model/table_reader.h"

namespace vostrel {

// The bytes of a record's primary key columns (every column without a
// primary key), with their states and lengths, as one string.
void RecordKey(const TableDef& table, const RecordFields& r, std::string& key);
// Every field's state and bytes: two records are the same row when equal.
void RecordImage(const RecordFields& r, std::string& image);

// The keys of every live record `reader` hands over; false when the walk
// met damage, so that the set may lack some.
bool CollectLiveKeys(TableReader& reader, const TableDef& table, const EngineContext& ctx,
                     std::unordered_set<std::string>& keys);

}  // namespace vostrel
