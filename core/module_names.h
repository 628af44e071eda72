// Which plug-in library files the scan admits, and where the designated module comes
// from when the host asks for its own folder. Kept free of the platform so that the
// rules build and are tested natively.
#ifndef TB_CORE_MODULE_NAMES_H
#define TB_CORE_MODULE_NAMES_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tb {

/// Longest load path, in characters, without the terminating zero: the platform's
/// path buffers hold 260 characters with it.
constexpr std::size_t kMaxLoadPathLength = 259;

/// Number of library names admitted without the "zq" prefix.
constexpr std::size_t kAllowListSize = 15;

/// The names admitted without the prefix: the suite's own audio modules. Order is
/// of no meaning.
extern const char* const kAllowListNames[kAllowListSize];

/// The audio format module that the host may have loaded from its own folder.
extern const char* const kDesignatedModuleName;

/// The subfolder of the host executable's folder that holds the designated module.
extern const char* const kHostModuleSubfolder;

/// Whether the folder search entry `name` is a plug-in library to load: a name that
/// starts with "zq" (any case), or one of the allow-listed names (any ASCII case).
/// Either way it must end with ".dll": the search pattern can also match longer
/// extensions through short file names, and "zqold.dll.bak" is not a plug-in.
bool IsAdmittedModuleName(std::string_view name) noexcept;

/// Whether `name` is the designated module's file name, without regard to ASCII case.
bool IsDesignatedModuleName(std::string_view name) noexcept;

/// The load path of the designated module in the host's folder: the drive and folder
/// of `exePath`, the subfolder, a backslash and the module name. Nothing when
/// `exePath` has no folder or the result would be longer than kMaxLoadPathLength: a
/// path cut to fit could name a different library.
std::optional<std::string> HostModulePath(std::string_view exePath);

/// The file name of a path without folder and extension ("C:\x\zqa.dll" gives "zqa").
std::string ModuleBaseName(std::string_view path);

}  // namespace tb

#endif  // TB_CORE_MODULE_NAMES_H
