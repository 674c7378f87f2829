#include "sql/database_end.h"

namespace vostrel {

std::vector<std::string> EndOfDatabaseStatements(const std::vector<std::string>& foreign_keys,
                                                 bool for_script) {
  std::vector<std::string> out;
  if (for_script) {
    if (!foreign_keys.empty())
      out.push_back("\r\n-- Foreign keys, added once every table holds its rows.\r\n");
    for (const std::string& fk : foreign_keys) out.push_back(fk + "\r\n");
    out.push_back("/*!40014 SET FOREIGN_KEY_CHECKS=@OLD_FOREIGN_KEY_CHECKS */;\r\n");
    out.push_back("/*!40014 SET UNIQUE_CHECKS=@OLD_UNIQUE_CHECKS */;\r\n");
    return out;
  }
  if (foreign_keys.empty()) return out;
  // Rows already loaded are not checked again: the constraint is what is restored.
  out.push_back("SET FOREIGN_KEY_CHECKS=0");
  out.insert(out.end(), foreign_keys.begin(), foreign_keys.end());
  out.push_back("SET FOREIGN_KEY_CHECKS=1");
  return out;
}

}  // namespace vostrel
