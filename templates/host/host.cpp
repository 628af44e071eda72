// A host of tunebay.dll: loads the plug-ins of a folder, lists the components and,
// given a file, opens it through the manager and reads it to the end.
//
//   template-host PLUGIN_FOLDER [FILE]
#include <tunebay/tunebay.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: template-host PLUGIN_FOLDER [FILE]\n");
    return 2;
  }
  std::printf("Tunebay SDK %s\n", TUNEBAY_SDK_VERSION_STRING);
  tb::IManager* raw = nullptr;
  if (!GetTunebay(&raw)) return 1;
  int status = 0;
  {
    tb::com_ptr<tb::IManager> manager = tb::com_ptr<tb::IManager>::adopt(raw);
    // Settings are stored under HKCU\Software\<name 1>\<name 2>\Tunebay: name them
    // before Initialise.
    if (auto location = manager.query<tb::IRegistryLocation>()) {
      location->SetKeyName1("Tunebay Templates", nullptr);
      location->SetKeyName2("Host", nullptr);
    }
    if (!manager->SetPluginFolder(argv[1]) || !manager->Initialise()) {
      std::fprintf(stderr, "error: the manager did not initialise\n");
      return 1;
    }
    auto catalogue = manager.query<tb::IComponentCollection>();
    const int32_t count = catalogue ? catalogue->GetCount() : 0;
    for (int32_t i = 0; i < count; ++i) {
      tb::com_ptr<tb::IComponent> component;
      if (catalogue->GetItem(i, component.put())) {
        std::printf("component %d: %s (kind %d)\n", int(i), component->GetName(),
                    int(component->GetKind()));
      }
    }
    if (argc >= 3) {
      // The manager's proxy in the source's own format (null format).
      tb::com_ptr<IUnknown> source;
      tb::com_ptr<tb::IError> error;
      if (!manager->OpenSource(argv[2], nullptr, source.put(), -1, tb::kOpenWithProxy, 0,
                               error.put())) {
        std::fprintf(stderr, "error: cannot open %s (code 0x%08lx)\n", argv[2],
                     error ? static_cast<unsigned long>(error->GetCode()) : 0ul);
        status = 1;
      } else {
        auto control = source.query<tb::ISourceControl>();
        auto data = source.query<tb::ISourceData>();
        tb::AudioFormat scratch = {};
        const tb::AudioFormat* format = data ? data->GetFormat(&scratch) : nullptr;
        unsigned long total = 0;
        if (control && data && format && control->Start(0)) {
          std::vector<char> buffer(4096);
          uint32_t length = 0;
          int32_t readStatus = 0;
          // A source ends with a read that delivers nothing.
          while (
              data->Read(buffer.data(), uint32_t(buffer.size()), &length, &readStatus, nullptr) &&
              length > 0) {
            total += length;
          }
          control->Stop(0);
          std::printf("opened %s: %d Hz, %d bits, %d channels, %lu bytes\n", argv[2],
                      int(format->sampleRate), int(format->bitsPerSample), int(format->channels),
                      total);
        } else {
          std::fprintf(stderr, "error: the source of %s did not start\n", argv[2]);
          status = 1;
        }
      }
    }
    catalogue.reset();
    if (!manager->Finish()) std::fprintf(stderr, "warning: the manager did not finish\n");
    const ULONG left = manager.detach()->Release();
    std::printf("manager released, %lu references left\n", static_cast<unsigned long>(left));
    if (left != 0) status = 1;
  }
  return status;
}
