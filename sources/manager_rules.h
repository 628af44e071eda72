// IManagerRules: the library's rules handed to hosts (include/tunebay/rules.h), answered
// by the highest layer whose rules it gives: component keys (services), source names
// and the decoder search (sources), and the store (core).
#ifndef TB_SOURCES_MANAGER_RULES_H
#define TB_SOURCES_MANAGER_RULES_H

#include <tunebay/rules.h>

#include "base/com.h"
#include "core/manager.h"

namespace tb {

class ManagerRules final : public ManagerPart, public outer_counted<IManagerRules> {
 public:
  explicit ManagerRules(Manager& manager) noexcept
      : outer_counted(manager.primary()), manager_(manager) {}

  bool TB_STDCALL GetComponentKey(IComponent* component, char* key, int32_t size) noexcept override;
  int32_t TB_STDCALL ClassifySourceName(const char* name) noexcept override;
  bool TB_STDCALL GetSearchExtension(const char* name, char* extension,
                                     int32_t size) noexcept override;
  int32_t TB_STDCALL GetDecoderPass(IComponent* decoder, const char* extension,
                                    uint32_t requiredMask, uint32_t excludedMask) noexcept override;
  bool TB_STDCALL GetStoredSetting(int32_t setting, int32_t* value) noexcept override;

 private:
  Manager& manager_;
};

}  // namespace tb

#endif  // TB_SOURCES_MANAGER_RULES_H
