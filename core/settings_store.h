// The settings store: single values under the current user's registry key
// Software\<name1>\<name2>\<name3>\<name4>. The only registry access of the library.
//
// Every function returns false (or the empty text) when one of the first three names
// or the value name is null, without touching the registry; `name4` may be null and
// then counts as empty. Each call opens and closes its own key; nothing is cached.
// Failures are reported only through the result.
#ifndef TB_CORE_SETTINGS_STORE_H
#define TB_CORE_SETTINGS_STORE_H

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace tb {

/// Bytes read for a text value, terminating zero included. Longer texts read as empty.
constexpr DWORD kTextSettingBufferSize = 1000;
/// The longest text that reads back whole.
constexpr std::size_t kMaxTextSettingLength = kTextSettingBufferSize - 1;

/// Reads a value of at most 4 bytes into the low end of `destination`, whatever its
/// registry type (a 2-byte value changes only the low 2 bytes). False when the key or
/// the value is missing, the value is longer than 4 bytes, or `destination` is null;
/// `destination` is then unchanged. A missing key is not created.
bool ReadDwordSetting(const char* name1, const char* name2, const char* name3, const char* name4,
                      const char* valueName, std::int32_t* destination) noexcept;

/// Writes a 32-bit number (REG_DWORD), creating the key and any missing keys above it.
bool WriteDwordSetting(const char* name1, const char* name2, const char* name3, const char* name4,
                       const char* valueName, std::int32_t value) noexcept;

/// Reads a text value (REG_SZ only). The empty text when the key or value is missing,
/// the value is of another type, or it is longer than kMaxTextSettingLength. A value
/// stored without its terminating zero is read up to its end.
std::string ReadTextSetting(const char* name1, const char* name2, const char* name3,
                            const char* name4, const char* valueName) noexcept;

/// Writes a text value (REG_SZ) with its terminating zero, creating keys as
/// WriteDwordSetting does. False for a null `value`.
bool WriteTextSetting(const char* name1, const char* name2, const char* name3, const char* name4,
                      const char* valueName, const char* value) noexcept;

/// The registry calls the store makes, so that tests can make one of them fail. Keys
/// are always closed with RegCloseKey.
struct RegistryCalls {
  decltype(&RegOpenKeyA) openKey;
  decltype(&RegCreateKeyA) createKey;
  decltype(&RegQueryValueExA) queryValue;
  decltype(&RegSetValueExA) setValue;
};

/// The platform's own registry calls.
const RegistryCalls& SystemRegistryCalls() noexcept;

/// The same four functions making their registry calls through `calls`.
bool ReadDwordSetting(const RegistryCalls& calls, const char* name1, const char* name2,
                      const char* name3, const char* name4, const char* valueName,
                      std::int32_t* destination) noexcept;
bool WriteDwordSetting(const RegistryCalls& calls, const char* name1, const char* name2,
                       const char* name3, const char* name4, const char* valueName,
                       std::int32_t value) noexcept;
std::string ReadTextSetting(const RegistryCalls& calls, const char* name1, const char* name2,
                            const char* name3, const char* name4, const char* valueName) noexcept;
bool WriteTextSetting(const RegistryCalls& calls, const char* name1, const char* name2,
                      const char* name3, const char* name4, const char* valueName,
                      const char* value) noexcept;

}  // namespace tb

#endif  // TB_CORE_SETTINGS_STORE_H
