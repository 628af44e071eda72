// IPluginDiagnostics (include/tunebay/diagnostics.h): the scan's records, kept by core,
// and each thread's last decoder search, kept here, where the search runs.
#ifndef TB_SOURCES_MANAGER_DIAGNOSTICS_H
#define TB_SOURCES_MANAGER_DIAGNOSTICS_H

#include <tunebay/diagnostics.h>

#include <vector>

#include "base/com.h"
#include "base/lock.h"
#include "core/manager.h"

namespace tb {

class ManagerDiagnostics final : public ManagerPart, public outer_counted<IPluginDiagnostics> {
 public:
  explicit ManagerDiagnostics(Manager& manager) noexcept
      : outer_counted(manager.primary()), manager_(manager) {}

  /// The manager's diagnostics part, or null.
  static ManagerDiagnostics* Of(Manager& manager) noexcept {
    return manager.FindPart<ManagerDiagnostics>();
  }

  /// Keeps `attempts` as the calling thread's last search (moved from; out of memory
  /// leaves the thread with no record rather than an old one).
  void KeepSearch(std::vector<OpenAttempt>& attempts) noexcept;

  int32_t TB_STDCALL GetLoadRecordCount() noexcept override;
  bool TB_STDCALL GetLoadRecord(int32_t index, LoadRecord* record) noexcept override;
  int32_t TB_STDCALL GetOpenAttemptCount() noexcept override;
  bool TB_STDCALL GetOpenAttempt(int32_t index, OpenAttempt* attempt) noexcept override;
  bool TB_STDCALL IsAdmittedFileName(const char* name) noexcept override;
  bool TB_STDCALL SetTrace(const char* destination) noexcept override;

 private:
  struct ThreadSearch {
    DWORD thread;
    std::vector<OpenAttempt> attempts;
  };
  // Searches of this many threads are kept; the one kept longest gives way.
  static constexpr size_t kMaxThreads = 16;

  Manager& manager_;
  RecursiveLock lock_;
  std::vector<ThreadSearch> searches_;  // oldest first
};

/// Adds the diagnostics part and its face to the manager; false when out of memory.
bool AddDiagnosticsPart(Manager& manager) noexcept;

}  // namespace tb

#endif  // TB_SOURCES_MANAGER_DIAGNOSTICS_H
