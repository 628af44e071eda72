// The registry key path of the settings, kept apart from the registry calls so that it
// builds and is tested without the platform.
#ifndef TB_CORE_SETTINGS_PATH_H
#define TB_CORE_SETTINGS_PATH_H

#include <optional>
#include <string>

namespace tb {

/// "Software\<name1>\<name2>\<name3>\<name4>", relative to the current user's root
/// key. The names are used as they are, also when empty; a null `name4` counts as
/// empty, so the path then ends with a backslash (the manager always passes it so).
/// Returns nothing when one of the first three names is null.
std::optional<std::string> SettingsKeyPath(const char* name1, const char* name2, const char* name3,
                                           const char* name4);

}  // namespace tb

#endif  // TB_CORE_SETTINGS_PATH_H
