#include "model/table_def.h"

#include <strings.h>

namespace vostrel {

bool KeyDef::is_primary() const {
  return strcasecmp(name.c_str(), "PRIMARY") == 0;
}

std::string EngineName(uint8_t code) {
  switch (code) {
    case 1:
      return "DIAB_ISAM";
    case 2:
      return "HASH";
    case 3:
      return "MISAM";
    case 4:
      return "PISAM";
    case 5:
      return "RMS_ISAM";
    case kEngineHeap:
      return "MEMORY";
    case 7:
      return "ISAM";
    case 8:
      return "MRG_ISAM";
    case kEngineMyIsam:
      return "MyISAM";
    case kEngineMergeMyIsam:
      return "MRG_MyISAM";
    case 11:
      return "BerkeleyDB";
    case kEngineInnoDb:
      return "InnoDB";
    case 13:
      return "GEMINI";
    case 14:
      return "ndbcluster";
    case 15:
      return "EXAMPLE";
    case kEngineArchive:
      return "ARCHIVE";
    case kEngineCsv:
      return "CSV";
    case kEngineFederated:
      return "FEDERATED";
    case kEngineBlackhole:
      return "BLACKHOLE";
    case kEnginePartition:
      return "partition";
    case 23:
      return "PBXT";
    case 26:
      return "Falcon";
    case 27:
    case kEngineAria:
      return "Aria";
    case 28:
      return "PERFORMANCE_SCHEMA";
    case 41:
      return "S3";
    case 43:
      return "TokuDB";
    case 44:
      return "SEQUENCE";
    default:
      return "engine code " + std::to_string(code);
  }
}

const KeyDef* TableDef::PrimaryKey() const {
  for (const KeyDef& k : keys) {
    if (k.is_primary()) return &k;
  }
  return nullptr;
}

}  // namespace vostrel
