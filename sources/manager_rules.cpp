#include "sources/manager_rules.h"

#include <cstring>
#include <string>

#include "core/settings_store.h"
#include "services/manager_services.h"
#include "sources/source_name.h"
#include "sources/source_resolution.h"

namespace tb {

namespace {

// Copies `text` with its terminating zero into `buffer` when it fits in `size` bytes.
bool CopyOut(const std::string& text, char* buffer, int32_t size) noexcept {
  if (!buffer || size <= 0 || text.size() >= static_cast<size_t>(size)) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace

bool TB_STDCALL ManagerRules::GetComponentKey(IComponent* component, char* key,
                                              int32_t size) noexcept {
  ManagerServices* services = ManagerServices::Of(manager_);
  if (!services) return false;
  try {
    return CopyOut(services->ComponentKey(component), key, size);
  } catch (...) {
    return false;
  }
}

int32_t TB_STDCALL ManagerRules::ClassifySourceName(const char* name) noexcept {
  switch (tb::ClassifySourceName(name)) {
    case SourceNameKind::kLocalFile:
      return kSourceNameLocal;
    case SourceNameKind::kHttpUrl:
      return kSourceNameHttp;
    case SourceNameKind::kFtpUrl:
      return kSourceNameFtp;
    case SourceNameKind::kBadPath:
      break;
  }
  return kSourceNameBad;
}

bool TB_STDCALL ManagerRules::GetSearchExtension(const char* name, char* extension,
                                                 int32_t size) noexcept {
  if (!name) return false;
  try {
    return CopyOut(SplitPathName(name).extension, extension, size);
  } catch (...) {
    return false;
  }
}

int32_t TB_STDCALL ManagerRules::GetDecoderPass(IComponent* decoder, const char* extension,
                                                uint32_t requiredMask,
                                                uint32_t excludedMask) noexcept {
  try {
    return DecoderPassOf(decoder, extension ? extension : "", requiredMask, excludedMask);
  } catch (...) {
    return kDecoderNoOpener;
  }
}

bool TB_STDCALL ManagerRules::GetStoredSetting(int32_t setting, int32_t* value) noexcept {
  const char* name = nullptr;
  switch (setting) {
    case kSettingArtistTitleSource:
      name = Manager::kArtistTitleSourceValue;
      break;
    case kSettingArtistTitleFileNameFormat:
      name = Manager::kFileNameFormatValue;
      break;
    default:
      return false;
  }
  return value && ReadDwordSetting(manager_.GetKeyName1(), manager_.GetKeyName2(),
                                   Manager::kSettingsSection, nullptr, name, value);
}

}  // namespace tb
