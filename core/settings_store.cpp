#include "core/settings_store.h"

#include <cstring>
#include <optional>

#include "base/handles.h"
#include "core/settings_path.h"

namespace tb {
namespace {

// Opens an existing key only; a read must never create one.
unique_hkey OpenKey(const RegistryCalls& calls, const std::string& path) {
  HKEY key = nullptr;
  if (calls.openKey(HKEY_CURRENT_USER, path.c_str(), &key) != ERROR_SUCCESS) key = nullptr;
  return unique_hkey(key);
}

unique_hkey OpenOrCreateKey(const RegistryCalls& calls, const std::string& path) {
  unique_hkey key = OpenKey(calls, path);
  if (key) return key;
  HKEY created = nullptr;
  if (calls.createKey(HKEY_CURRENT_USER, path.c_str(), &created) != ERROR_SUCCESS) {
    created = nullptr;
  }
  return unique_hkey(created);
}

std::optional<std::string> KeyPathFor(const char* name1, const char* name2, const char* name3,
                                      const char* name4, const char* valueName) {
  if (!valueName) return std::nullopt;
  return SettingsKeyPath(name1, name2, name3, name4);
}

}  // namespace

const RegistryCalls& SystemRegistryCalls() noexcept {
  static const RegistryCalls calls = {&RegOpenKeyA, &RegCreateKeyA, &RegQueryValueExA,
                                      &RegSetValueExA};
  return calls;
}

bool ReadDwordSetting(const RegistryCalls& calls, const char* name1, const char* name2,
                      const char* name3, const char* name4, const char* valueName,
                      std::int32_t* destination) noexcept {
  try {
    const auto path = KeyPathFor(name1, name2, name3, name4, valueName);
    if (!path || !destination) return false;
    unique_hkey key = OpenKey(calls, *path);
    if (!key) return false;
    // Query into a copy, so that a failed query (which may have written part of a
    // longer value) leaves the caller's number as it was.
    BYTE bytes[sizeof(std::int32_t)];
    std::memcpy(bytes, destination, sizeof bytes);
    DWORD size = sizeof bytes;
    if (calls.queryValue(key.get(), valueName, nullptr, nullptr, bytes, &size) != ERROR_SUCCESS ||
        size > sizeof bytes) {
      return false;
    }
    std::memcpy(destination, bytes, size);
    return true;
  } catch (...) {
    return false;
  }
}

bool WriteDwordSetting(const RegistryCalls& calls, const char* name1, const char* name2,
                       const char* name3, const char* name4, const char* valueName,
                       std::int32_t value) noexcept {
  try {
    const auto path = KeyPathFor(name1, name2, name3, name4, valueName);
    if (!path) return false;
    unique_hkey key = OpenOrCreateKey(calls, *path);
    if (!key) return false;
    const DWORD number = static_cast<DWORD>(value);
    return calls.setValue(key.get(), valueName, 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&number), sizeof number) == ERROR_SUCCESS;
  } catch (...) {
    return false;
  }
}

std::string ReadTextSetting(const RegistryCalls& calls, const char* name1, const char* name2,
                            const char* name3, const char* name4, const char* valueName) noexcept {
  try {
    const auto path = KeyPathFor(name1, name2, name3, name4, valueName);
    if (!path) return std::string();
    unique_hkey key = OpenKey(calls, *path);
    if (!key) return std::string();
    char buffer[kTextSettingBufferSize];
    DWORD type = REG_NONE;
    DWORD size = sizeof buffer;
    if (calls.queryValue(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
      return std::string();
    }
    // The stored bytes need not end with a zero; never look past what was returned.
    if (size > sizeof buffer) return std::string();
    const auto* zero = static_cast<const char*>(std::memchr(buffer, 0, size));
    if (zero) return std::string(buffer, static_cast<std::size_t>(zero - buffer));
    // No zero and no room left for one: the text is longer than the store can read.
    if (size == sizeof buffer) return std::string();
    return std::string(buffer, size);
  } catch (...) {
    return std::string();
  }
}

bool WriteTextSetting(const RegistryCalls& calls, const char* name1, const char* name2,
                      const char* name3, const char* name4, const char* valueName,
                      const char* value) noexcept {
  try {
    const auto path = KeyPathFor(name1, name2, name3, name4, valueName);
    if (!path || !value) return false;
    unique_hkey key = OpenOrCreateKey(calls, *path);
    if (!key) return false;
    const DWORD size = static_cast<DWORD>(std::strlen(value) + 1);
    return calls.setValue(key.get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          size) == ERROR_SUCCESS;
  } catch (...) {
    return false;
  }
}

bool ReadDwordSetting(const char* name1, const char* name2, const char* name3, const char* name4,
                      const char* valueName, std::int32_t* destination) noexcept {
  return ReadDwordSetting(SystemRegistryCalls(), name1, name2, name3, name4, valueName,
                          destination);
}

bool WriteDwordSetting(const char* name1, const char* name2, const char* name3, const char* name4,
                       const char* valueName, std::int32_t value) noexcept {
  return WriteDwordSetting(SystemRegistryCalls(), name1, name2, name3, name4, valueName, value);
}

std::string ReadTextSetting(const char* name1, const char* name2, const char* name3,
                            const char* name4, const char* valueName) noexcept {
  return ReadTextSetting(SystemRegistryCalls(), name1, name2, name3, name4, valueName);
}

bool WriteTextSetting(const char* name1, const char* name2, const char* name3, const char* name4,
                      const char* valueName, const char* value) noexcept {
  return WriteTextSetting(SystemRegistryCalls(), name1, name2, name3, name4, valueName, value);
}

}  // namespace tb
