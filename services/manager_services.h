// The services layer's part of the manager: the language, the host's values, the
// user's decoder order and the stand-in settings dialog, on the manager's identity and
// count. Component keys and the ordered list work on core's catalogue and stored order.
#ifndef TB_SERVICES_MANAGER_SERVICES_H
#define TB_SERVICES_MANAGER_SERVICES_H

#include <tunebay/manager.h>

#include <string>
#include <vector>

#include "base/com.h"
#include "core/manager.h"

namespace tb {

class ManagerServices final : public ManagerPart,
                              public outer_counted<ILanguageSetting, IHostSettings, ISettingsDialog,
                                                   ISourceOrder, IClientValue> {
 public:
  /// Initial language: English.
  static constexpr uint16_t kDefaultLanguage = 9;

  explicit ManagerServices(Manager& manager) noexcept;

  /// The part of `manager`, or null when it was assembled without this layer.
  static ManagerServices* Of(const Manager& manager) noexcept {
    return manager.FindPart<ManagerServices>();
  }

  // ILanguageSetting
  bool TB_STDCALL SetLanguage(uint16_t language) noexcept override;
  uint16_t TB_STDCALL GetLanguage() noexcept override;

  // IHostSettings
  bool TB_STDCALL SetHostText1(const char* text) noexcept override;
  const char* TB_STDCALL GetHostText1() noexcept override;
  bool TB_STDCALL SetHostNumber(int32_t value) noexcept override;
  int32_t TB_STDCALL GetHostNumber() noexcept override;
  bool TB_STDCALL SetHostText2(const char* text) noexcept override;
  const char* TB_STDCALL GetHostText2() noexcept override;

  // ISettingsDialog: stands in until the user-interface layer supplies the dialog
  // (Manager::SetFace); reports that nothing was shown.
  bool TB_STDCALL ShowSettingsDialog() noexcept override;

  // ISourceOrder
  bool TB_STDCALL SetSourceOrder(IComponent** components, int32_t count) noexcept override;
  bool TB_STDCALL GetOrderedComponents(int32_t kind, IComponentCollection** list) noexcept override;

  // IClientValue
  void TB_STDCALL SetClientValue(int32_t value) noexcept override;
  int32_t TB_STDCALL GetClientValue() noexcept override;

  /// The component key by which a catalogue component is stored in the source order.
  std::string ComponentKey(IComponent* component);

 private:
  // The keys of several components at once: origin records are found through a
  // pointer index built once, not a catalogue scan each.
  std::vector<std::string> ComponentKeys(IComponent* const* components, size_t count);

  Manager& manager_;
  std::string hostText1_;
  std::string hostText2_;
  int32_t hostNumber_ = 0;
  uint16_t language_ = kDefaultLanguage;
  int32_t clientValue_ = 0;
};

/// Adds the services part to a new manager and enters its faces (Manager::Assembly).
bool AddServiceParts(Manager& manager) noexcept;

}  // namespace tb

#endif  // TB_SERVICES_MANAGER_SERVICES_H
