// Placeholder: the secondary interfaces answer "not yet" until they land.
#include "core/manager.h"

namespace tb {

int32_t TB_STDCALL Manager::GetCount() noexcept { return 0; }
bool TB_STDCALL Manager::GetItem(int32_t, IComponent**) noexcept { return false; }
bool TB_STDCALL Manager::SetLanguage(uint16_t) noexcept { return false; }
uint16_t TB_STDCALL Manager::GetLanguage() noexcept { return language_; }
bool TB_STDCALL Manager::SetKeyName1(const char*, IError**) noexcept { return false; }
const char* TB_STDCALL Manager::GetKeyName1() noexcept { return keyName1_.c_str(); }
bool TB_STDCALL Manager::SetKeyName2(const char*, IError**) noexcept { return false; }
const char* TB_STDCALL Manager::GetKeyName2() noexcept { return keyName2_.c_str(); }
bool TB_STDCALL Manager::SetHostText1(const char*) noexcept { return false; }
const char* TB_STDCALL Manager::GetHostText1() noexcept { return hostText1_.c_str(); }
bool TB_STDCALL Manager::SetHostNumber(int32_t) noexcept { return false; }
int32_t TB_STDCALL Manager::GetHostNumber() noexcept { return hostNumber_; }
bool TB_STDCALL Manager::SetHostText2(const char*) noexcept { return false; }
const char* TB_STDCALL Manager::GetHostText2() noexcept { return hostText2_.c_str(); }
bool TB_STDCALL Manager::GetComponentOrigin(IComponent*, ComponentOrigin*) noexcept {
  return false;
}
bool TB_STDCALL Manager::SetSourceOrder(IComponent**, int32_t) noexcept { return false; }
bool TB_STDCALL Manager::GetOrderedComponents(int32_t, IComponentCollection**) noexcept {
  return false;
}
bool TB_STDCALL Manager::UseHostModuleFolder(int32_t) noexcept { return false; }
void TB_STDCALL Manager::SetClientValue(int32_t) noexcept {}
int32_t TB_STDCALL Manager::GetClientValue() noexcept { return clientValue_; }
std::string Manager::ComponentKey(IComponent*) { return std::string(); }

}  // namespace tb
