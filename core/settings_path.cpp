#include "core/settings_path.h"

namespace tb {

std::optional<std::string> SettingsKeyPath(const char* name1, const char* name2, const char* name3,
                                           const char* name4) {
  if (!name1 || !name2 || !name3) return std::nullopt;
  std::string path = "Software\\";
  path += name1;
  path += '\\';
  path += name2;
  path += '\\';
  path += name3;
  path += '\\';
  if (name4) path += name4;
  return path;
}

}  // namespace tb
