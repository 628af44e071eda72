// An in-process component for the services tests: counts its references and calls,
// and optionally answers IComponentIdentity.
#ifndef TB_TESTS_SERVICES_FAKE_COMPONENT_H
#define TB_TESTS_SERVICES_FAKE_COMPONENT_H

#include <tunebay/tunebay.h>

#include <vector>

#include "base/com.h"

namespace tbtest {

class FakeComponent : public tb::IComponent, public tb::IComponentIdentity {
 public:
  explicit FakeComponent(int32_t kind = tb::kKindDecoder, const char* name = "fake")
      : kind_(kind), name_(name) {}

  /// Makes the component answer IComponentIdentity with `id`; `answers` false makes
  /// GetClassId fail.
  void GiveIdentity(const GUID& id, bool answers = true) {
    hasIdentity_ = true;
    id_ = id;
    answers_ = answers;
  }

  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    const tb::QueryRow rows[] = {
        {&IID_IUnknown, static_cast<tb::IComponent*>(this)},
        {&tb::iid_of<tb::IComponentIdentity>(),
         hasIdentity_ ? static_cast<tb::IComponentIdentity*>(this) : nullptr},
    };
    return tb::query_from_table(iid, out, rows);
  }
  ULONG TB_STDCALL AddRef() noexcept override { return ++count; }
  ULONG TB_STDCALL Release() noexcept override {
    if (releaseLog) releaseLog->push_back(this);
    return --count;
  }
  const char* TB_STDCALL GetName() noexcept override { return name_; }
  int32_t TB_STDCALL GetKind() noexcept override { return kind_; }
  bool TB_STDCALL Setup(tb::IManager*, tb::IError**) noexcept override { return true; }
  void TB_STDCALL Shutdown() noexcept override { ++shutdowns; }
  bool TB_STDCALL GetClassId(GUID* id) noexcept override {
    if (!answers_) {
      *id = GUID{0xBAD, 0, 0, {0}};  // leftovers that must not become a key
      return false;
    }
    *id = id_;
    return true;
  }

  ULONG count = 1;  // the creator's reference
  int shutdowns = 0;
  std::vector<FakeComponent*>* releaseLog = nullptr;

 private:
  int32_t kind_;
  const char* name_;
  bool hasIdentity_ = false;
  bool answers_ = true;
  GUID id_{};
};

/// A small identifier whose component key is easy to write: {n-0-0-0000-000000000000}
/// gives "0000000n-0000-0000-0000-000000000000" for n below 16.
inline GUID SmallId(unsigned long n) { return GUID{n, 0, 0, {0}}; }

}  // namespace tbtest

#endif  // TB_TESTS_SERVICES_FAKE_COMPONENT_H
