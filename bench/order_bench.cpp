// Times GetOrderedComponents for a user with many decoders and a long stored order,
// against the time of working out the decoders' keys once. The order is applied with
// one hash lookup per stored key, so the call should cost little more than the keys.
//
// Prints, for each case, both times (median and best of the repetitions) and their
// ratio; the target for the first case is a median ratio of at most 3.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "dll/assembly.h"
#include "services/manager_services.h"

namespace {

constexpr int kDecoders = 1000;
constexpr int kStoredKeys = 1000;
constexpr int kRepetitions = 31;

class BenchDecoder final : public tb::IComponent, public tb::IComponentIdentity {
 public:
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    const tb::QueryRow rows[] = {
        {&IID_IUnknown, static_cast<tb::IComponent*>(this)},
        {&tb::iid_of<tb::IComponentIdentity>(),
         identified ? static_cast<tb::IComponentIdentity*>(this) : nullptr},
    };
    return tb::query_from_table(iid, out, rows);
  }
  ULONG TB_STDCALL AddRef() noexcept override { return InterlockedIncrement(&count); }
  ULONG TB_STDCALL Release() noexcept override { return InterlockedDecrement(&count); }
  const char* TB_STDCALL GetName() noexcept override { return "bench decoder"; }
  int32_t TB_STDCALL GetKind() noexcept override { return tb::kKindDecoder; }
  bool TB_STDCALL Setup(tb::IManager*, tb::IError**) noexcept override { return true; }
  void TB_STDCALL Shutdown() noexcept override {}
  bool TB_STDCALL GetClassId(GUID* out) noexcept override {
    *out = id;
    return true;
  }

  volatile LONG count = 1;
  bool identified = true;
  GUID id{};
};

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Times {
  double median;
  double best;
};

Times Summarise(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return {samples[samples.size() / 2], samples.front()};
}

// One case: `kDecoders` decoders, every `originEvery`-th one keyed by its origin
// (0: none), and a stored order of `kStoredKeys` keys mixing present decoders in a
// shuffled order, repeats and decoders that are gone. Returns false on a wrong result.
bool RunCase(const char* title, int originEvery, bool withPlainWalk) {
  std::mt19937 random(42);
  std::vector<BenchDecoder> decoders(kDecoders), gone(kStoredKeys / 10);
  for (std::vector<BenchDecoder>* group : {&decoders, &gone}) {
    for (BenchDecoder& d : *group) {
      d.id = GUID{static_cast<unsigned long>(random()),
                  static_cast<unsigned short>(random()),
                  static_cast<unsigned short>(random()),
                  {}};
      for (unsigned char& b : d.id.Data4) b = static_cast<unsigned char>(random());
    }
  }
  for (int i = 0; originEvery > 0 && i < kDecoders; i += originEvery) {
    decoders[i].identified = false;
  }

  tb::IManager* primary = nullptr;
  if (!tb::GetAssembledManager(&primary)) return false;
  tb::Manager* core = static_cast<tb::Manager*>(primary);
  tb::ManagerServices* manager = tb::ManagerServices::Of(*core);
  for (int i = 0; i < kDecoders; ++i) {
    decoders[i].AddRef();
    char module[32];
    std::snprintf(module, sizeof module, "zqbench%d.dll", i / 4);
    core->AddComponent(&decoders[i], module, i % 4);
  }

  // 80% present decoders in a shuffled order, 10% repeats, 10% gone.
  std::vector<tb::IComponent*> present;
  for (BenchDecoder& d : decoders) present.push_back(&d);
  std::shuffle(present.begin(), present.end(), random);
  std::vector<tb::IComponent*> stored(present.begin(), present.begin() + kStoredKeys * 8 / 10);
  for (int i = 0; i < kStoredKeys / 10; ++i) stored.push_back(stored[random() % stored.size()]);
  for (BenchDecoder& d : gone) stored.push_back(&d);
  std::shuffle(stored.begin(), stored.end(), random);

  std::vector<double> keyTimes, orderTimes;
  std::vector<std::string> keys(kDecoders);
  bool ok = true;
  for (int r = 0; r < kRepetitions && ok; ++r) {
    double start = Now();
    for (int i = 0; i < kDecoders; ++i) keys[i] = manager->ComponentKey(&decoders[i]);
    keyTimes.push_back(Now() - start);

    ok = manager->SetSourceOrder(stored.data(), static_cast<int32_t>(stored.size()));
    tb::IComponentCollection* list = nullptr;
    start = Now();
    ok = ok && manager->GetOrderedComponents(tb::kKindDecoder, &list);
    orderTimes.push_back(Now() - start);
    ok = ok && list && list->GetCount() == kDecoders &&
         core->sourceOrder().size() == static_cast<size_t>(kStoredKeys * 8 / 10);
    if (list) list->Release();
  }
  if (!ok) {
    std::printf("%s: wrong result\n", title);
    primary->Release();
    return false;
  }

  const Times key = Summarise(keyTimes), order = Summarise(orderTimes);
  std::printf("%s\n", title);
  std::printf("  %d keys once:              median %8.3f ms, best %8.3f ms\n", kDecoders,
              key.median * 1e3, key.best * 1e3);
  std::printf("  GetOrderedComponents:      median %8.3f ms, best %8.3f ms\n", order.median * 1e3,
              order.best * 1e3);
  std::printf("  ratio:                     median %8.2f,    best %8.2f\n",
              order.median / key.median, order.best / key.best);

  if (withPlainWalk) {
    // For scale: the walk that works out a key for every comparison, timed once.
    manager->SetSourceOrder(stored.data(), static_cast<int32_t>(stored.size()));
    std::vector<std::string> order = core->sourceOrder();
    std::vector<bool> taken(kDecoders, false);
    const double start = Now();
    for (const std::string& wanted : order) {
      for (int i = 0; i < kDecoders; ++i) {
        if (!taken[i] && manager->ComponentKey(&decoders[i]) == wanted) {
          taken[i] = true;
          break;
        }
      }
    }
    const double walk = Now() - start;
    std::printf("  (plain walk, once:         %8.3f ms, %.0f times the keys)\n", walk * 1e3,
                walk / key.median);
  }
  // The catalogue keeps its references: the manager was never initialised, so they
  // belong to no finish. The decoders outlive the manager, so that is harmless here.
  primary->Release();
  return true;
}

}  // namespace

int main() {
  std::printf("GetOrderedComponents with %d decoders and %d stored keys, %d repetitions\n\n",
              kDecoders, kStoredKeys, kRepetitions);
  bool ok = RunCase("every decoder keyed by its identity:", 0, true);
  ok = RunCase("every other decoder keyed by its origin:", 2, false) && ok;
  return ok ? 0 : 1;
}
