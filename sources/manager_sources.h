// The sources layer's part of the manager: the work behind IManager::OpenSource and
// IManager::CreateSink (source resolution and the proxies).
#ifndef TB_SOURCES_MANAGER_SOURCES_H
#define TB_SOURCES_MANAGER_SOURCES_H

#include "core/manager.h"

namespace tb {

class ManagerSources final : public ManagerPart, public SourceService {
 public:
  explicit ManagerSources(Manager& manager) noexcept : manager_(manager) {}

  bool OpenSource(const char* name, const AudioFormat* format, IUnknown** source, int32_t pass,
                  uint32_t requiredMask, uint32_t excludedMask, IError** error) noexcept override;
  bool CreateSink(ISinkCreator* creator, IUnknown** sink, const AudioFormat* format,
                  int32_t argument) noexcept override;

 private:
  Manager& manager_;
};

/// Adds the sources parts to a new manager (Manager::Assembly): the work behind
/// OpenSource and CreateSink, and IManagerRules. Needs the services part, whose decoder
/// order source resolution follows and whose component keys the rules hand out.
bool AddSourceParts(Manager& manager) noexcept;

}  // namespace tb

#endif  // TB_SOURCES_MANAGER_SOURCES_H
