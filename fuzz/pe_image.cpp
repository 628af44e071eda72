// Fuzz target: the executable image reader. Checks that it never reads outside the
// buffer (the sanitizers see that) and keeps within its limits on any bytes.
#include "base/pe_image.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const tb::PeImage image = tb::ReadPeImage(data, size);
  if (!image.valid() && (!image.imports.empty() || !image.exports.empty())) std::abort();
  if (image.imports.size() > tb::kMaxImportedLibraries) std::abort();
  if (image.exports.size() > tb::kMaxExportedNames) std::abort();
  size_t functions = 0;
  for (const tb::PeImport& import : image.imports) {
    if (import.library.size() > tb::kMaxImageName) std::abort();
    functions += import.functions.size();
    for (const tb::PeImportedFunction& f : import.functions) {
      if (f.name.size() > tb::kMaxImageName) std::abort();
    }
  }
  if (functions > tb::kMaxImportedFunctions) std::abort();
  for (const std::string& name : image.exports) {
    if (name.size() > tb::kMaxImageName || image.exportsName(name) == false) std::abort();
  }
  (void)tb::MachineName(image.machine);
  (void)tb::SubsystemName(image.subsystem);
  return 0;
}
