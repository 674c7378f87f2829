#include "model/table_def.h"

#include <strings.h>

namespace vostrel {

bool KeyDef::is_primary() const { return strcasecmp(name.c_str(), "PRIMARY") == 0; }

const KeyDef* TableDef::PrimaryKey() const {
  for (const KeyDef& k : keys) {
    if (k.is_primary()) return &k;
  }
  return nullptr;
}

}  // namespace vostrel
