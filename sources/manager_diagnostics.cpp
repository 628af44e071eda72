#include "sources/manager_diagnostics.h"

#include <memory>
#include <new>

#include "core/module_names.h"
#include "core/trace.h"

namespace tb {

void ManagerDiagnostics::KeepSearch(std::vector<OpenAttempt>& attempts) noexcept {
  const DWORD thread = GetCurrentThreadId();
  LockGuard lock(lock_);
  for (auto it = searches_.begin(); it != searches_.end(); ++it) {
    if (it->thread == thread) {
      searches_.erase(it);
      break;
    }
  }
  try {
    if (searches_.size() == kMaxThreads) searches_.erase(searches_.begin());
    searches_.push_back(ThreadSearch{thread, std::move(attempts)});
  } catch (...) {
  }
}

int32_t TB_STDCALL ManagerDiagnostics::GetLoadRecordCount() noexcept {
  return static_cast<int32_t>(manager_.loadRecords().size());
}

bool TB_STDCALL ManagerDiagnostics::GetLoadRecord(int32_t index, LoadRecord* record) noexcept {
  const std::vector<LoadRecord>& records = manager_.loadRecords();
  if (!record || index < 0 || static_cast<size_t>(index) >= records.size()) return false;
  *record = records[static_cast<size_t>(index)];
  return true;
}

int32_t TB_STDCALL ManagerDiagnostics::GetOpenAttemptCount() noexcept {
  const DWORD thread = GetCurrentThreadId();
  LockGuard lock(lock_);
  for (const ThreadSearch& search : searches_) {
    if (search.thread == thread) return static_cast<int32_t>(search.attempts.size());
  }
  return 0;
}

bool TB_STDCALL ManagerDiagnostics::GetOpenAttempt(int32_t index, OpenAttempt* attempt) noexcept {
  if (!attempt || index < 0) return false;
  const DWORD thread = GetCurrentThreadId();
  LockGuard lock(lock_);
  for (const ThreadSearch& search : searches_) {
    if (search.thread != thread) continue;
    if (static_cast<size_t>(index) >= search.attempts.size()) return false;
    *attempt = search.attempts[static_cast<size_t>(index)];
    return true;
  }
  return false;
}

bool TB_STDCALL ManagerDiagnostics::IsAdmittedFileName(const char* name) noexcept {
  return name && IsAdmittedModuleName(name);
}

bool TB_STDCALL ManagerDiagnostics::SetTrace(const char* destination) noexcept {
  return SetTraceDestination(destination);
}

bool AddDiagnosticsPart(Manager& manager) noexcept {
  ManagerDiagnostics* diagnostics = new (std::nothrow) ManagerDiagnostics(manager);
  return diagnostics && manager.AddPart(std::unique_ptr<ManagerPart>(diagnostics)) &&
         manager.SetFace(iid_of<IPluginDiagnostics>(),
                         static_cast<IPluginDiagnostics*>(diagnostics));
}

}  // namespace tb
