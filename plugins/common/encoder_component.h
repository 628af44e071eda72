// The encoder component of a reference plug-in library that writes files: IComponent,
// ISinkFactory and IExtensionList, with the sinks, the name and the extensions supplied
// by the library. The WAVE writer and the FLAC encoder are both this component.
#ifndef TB_PLUGINS_COMMON_ENCODER_COMPONENT_H
#define TB_PLUGINS_COMMON_ENCODER_COMPONENT_H

#include <tunebay/component.h>
#include <tunebay/encoder.h>
#include <windows.h>

#include <new>

#include "base/com.h"
#include "plugins/common/live_objects.h"
#include "plugins/common/plugin_error.h"

namespace tb::plugin {

/// What an encoder library supplies. `Sink::Create(path, format, error)` makes a sink
/// with one reference for the caller (null, with the error slot filled, on failure).
struct EncoderTraits {
  const char* name;  ///< the component's name, "WAVE writer"
  const char* const* extensions;
  int32_t extensionCount;
};

template <class Sink>
class EncoderComponent final : public implements_with<EncoderComponent<Sink>, ComponentCount,
                                                      IComponent, ISinkFactory, IExtensionList> {
 public:
  explicit EncoderComponent(const EncoderTraits& traits) noexcept : traits_(traits) {}

  // IComponent
  const char* TB_STDCALL GetName() noexcept override { return traits_.name; }
  int32_t TB_STDCALL GetKind() noexcept override { return kKindEncoder; }
  // Nothing to prepare: the encoder keeps no reference to the manager.
  bool TB_STDCALL Setup(IManager*, IError**) noexcept override { return true; }
  void TB_STDCALL Shutdown() noexcept override {}

  // IExtensionList
  int32_t TB_STDCALL GetCount() noexcept override { return traits_.extensionCount; }
  const char* TB_STDCALL GetExtension(int32_t index) noexcept override {
    return index >= 0 && index < traits_.extensionCount ? traits_.extensions[index] : nullptr;
  }

  // ISinkFactory
  bool TB_STDCALL CreateFileSink(const char* path, const AudioFormat* format, IUnknown** sink,
                                 IError** error) noexcept override {
    if (sink) *sink = nullptr;
    if (!path || !*path || !format || !sink) {
      SetError(error, result::InvalidParameter,
               "CreateFileSink needs a path, a format and a sink slot");
      return false;
    }
    Sink* made = Sink::Create(path, *format, error);
    if (!made) return false;
    *sink = static_cast<ISinkData*>(made);
    return true;
  }

 private:
  ~EncoderComponent() = default;
  friend struct tb::object_access;

  const EncoderTraits traits_;
};

/// A new encoder component with one reference (the catalogue's), or null when out of
/// memory: the body of ORVA_PLUGIN_GetPrimaryAudioObject.
template <class Sink>
bool NewEncoderComponent(const EncoderTraits& traits, IComponent** out) noexcept {
  if (!out) return false;
  *out = new (std::nothrow) EncoderComponent<Sink>(traits);
  return *out != nullptr;
}

}  // namespace tb::plugin

#endif  // TB_PLUGINS_COMMON_ENCODER_COMPONENT_H
