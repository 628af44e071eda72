// Fuzz target: source name classification and the path split. Checks that the split
// never overruns its buffers and, when nothing was cut, gives the path back whole.
#include "sources/source_name.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path(reinterpret_cast<const char*>(data), size);
  const char* text = path.c_str();  // stops at the first zero byte, as a host's text would

  (void)tb::ClassifySourceName(text);

  const tb::PathParts parts = tb::SplitPathName(text);
  if (parts.drive.size() > tb::kDriveSize - 1 || parts.directory.size() > tb::kDirectorySize - 1 ||
      parts.name.size() > tb::kFileNameSize - 1 ||
      parts.extension.size() > tb::kExtensionSize - 2) {
    std::abort();
  }
  const std::string original(text);
  if (original.size() < tb::kDirectorySize - 1) {
    // Short enough that no part was cut: the parts put together give the path again.
    std::string joined = parts.drive + parts.directory + parts.name;
    if (original.find('.', joined.size()) != std::string::npos) joined += "." + parts.extension;
    if (joined != original) std::abort();
  }
  if (tb::ExtensionsMatch(parts.extension.c_str(), parts.extension.c_str()) ==
      parts.extension.empty()) {
    std::abort();
  }
  return 0;
}
