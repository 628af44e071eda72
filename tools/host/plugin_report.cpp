#include "plugin_report.h"

#include <cstdio>

#include "host.h"

namespace host {

tb::com_ptr<tb::IPluginDiagnostics> DiagnosticsOf(tb::IManager* manager) {
  return tb::com_ptr<tb::IManager>(manager).query<tb::IPluginDiagnostics>();
}

std::string FaultText(unsigned long code) {
  const char* name = nullptr;
  switch (code) {
    case 0xC0000005:
      name = "access violation";
      break;
    case 0xC00000FD:
      name = "stack overflow";
      break;
    case 0xC0000094:
      name = "integer division by zero";
      break;
    case 0xC000001D:
      name = "illegal instruction";
      break;
    case 0xC0000409:
      name = "fail-fast exit (a security check or an abort)";
      break;
    case 0x80000003:
      name = "breakpoint";
      break;
    case 0xE06D7363:
      name = "C++ exception of an MSVC-built module";
      break;
    case 0xE0414254:
      name = "C++ exception that escaped (the plug-in's runtime aborted)";
      break;
    case 0:
      name = "C++ exception";
      break;
    default:
      break;
  }
  char text[160];
  if (name) {
    std::snprintf(text, sizeof text, "%s (0x%08lx)", name, code);
  } else {
    std::snprintf(text, sizeof text, "exception 0x%08lx", code);
  }
  return text;
}

const char* LoadOutcomeKey(int32_t outcome) {
  switch (outcome) {
    case tb::kLoadLoaded:
      return "loaded";
    case tb::kLoadSkippedName:
      return "skipped-name";
    case tb::kLoadSkippedPath:
      return "skipped-path";
    case tb::kLoadFailed:
      return "load-failed";
    case tb::kLoadNoEntryPoint:
      return "no-entry-point";
    case tb::kLoadPrimaryFalse:
      return "primary-false";
    case tb::kLoadFault:
      return "fault";
    case tb::kLoadSetupRefused:
      return "setup-refused";
    case tb::kLoadOutOfMemory:
      return "out-of-memory";
    default:
      return "unknown";
  }
}

std::string LoadRecordText(const tb::LoadRecord& record) {
  const std::string detail(record.detail, strnlen(record.detail, sizeof record.detail));
  const std::string components = std::to_string(record.componentCount) + " component" +
                                 (record.componentCount == 1 ? "" : "s");
  switch (record.outcome) {
    case tb::kLoadLoaded:
      return "loaded, " + components;
    case tb::kLoadSkippedName:
      return "skipped: " + detail;
    case tb::kLoadSkippedPath:
      return "skipped: " + detail;
    case tb::kLoadFailed:
      return "not loaded (system error " + std::to_string(record.systemError) + "): " + detail;
    case tb::kLoadNoEntryPoint:
      return "no entry point " + detail + "; unloaded";
    case tb::kLoadPrimaryFalse:
      return std::string("loaded, but ") + TB_ENTRY_GET_PRIMARY_AUDIO_OBJECT +
             " answered false or gave no object";
    case tb::kLoadFault:
      return "fault caught in " + detail + ": " + FaultText(record.faultCode);
    case tb::kLoadSetupRefused:
      return std::to_string(record.refusedCount) + " component" +
             (record.refusedCount == 1 ? "" : "s") + " refused Setup (first: " + detail + "); " +
             components + " kept";
    case tb::kLoadOutOfMemory:
      return "out of memory while loading it";
    default:
      return "outcome " + std::to_string(record.outcome);
  }
}

bool IsLoadProblem(const tb::LoadRecord& record) {
  return record.outcome != tb::kLoadLoaded && record.outcome != tb::kLoadSkippedName;
}

std::vector<tb::LoadRecord> LoadRecordsOf(tb::IManager* manager) {
  std::vector<tb::LoadRecord> records;
  tb::com_ptr<tb::IPluginDiagnostics> diagnostics = DiagnosticsOf(manager);
  const int32_t count = diagnostics ? diagnostics->GetLoadRecordCount() : 0;
  for (int32_t i = 0; i < count; ++i) {
    tb::LoadRecord record{};
    if (!diagnostics->GetLoadRecord(i, &record)) continue;
    record.fileName[tb::kOriginNameSize - 1] = '\0';
    record.detail[tb::kDiagnosticTextSize - 1] = '\0';
    records.push_back(record);
  }
  return records;
}

void PrintDecoderAttempts(tb::IManager* manager) {
  tb::com_ptr<tb::IPluginDiagnostics> diagnostics = DiagnosticsOf(manager);
  if (!diagnostics) return;
  const int32_t count = diagnostics->GetOpenAttemptCount();
  if (count == 0) {
    PrintErr("  no decoder was asked\n");
    return;
  }
  for (int32_t i = 0; i < count; ++i) {
    tb::OpenAttempt a{};
    if (!diagnostics->GetOpenAttempt(i, &a)) continue;
    a.component[tb::kDiagnosticTextSize - 1] = '\0';
    a.moduleFileName[tb::kOriginNameSize - 1] = '\0';
    a.detail[tb::kDiagnosticTextSize - 1] = '\0';
    std::string answer;
    switch (a.answer) {
      case tb::kOpenOpened:
        answer = "opened it";
        break;
      case tb::kOpenDeclined:
        answer = "declined";
        break;
      case tb::kOpenError:
        answer = std::string("error: ") + a.detail;
        break;
      case tb::kOpenFinal:
        answer = std::string("error, which ended the search: ") + a.detail;
        break;
      case tb::kOpenFault:
        answer = "fault caught in Open: " + FaultText(a.faultCode);
        break;
      case tb::kOpenNoSource:
        answer = "claimed success but gave no source";
        break;
      default:
        answer = "answer " + std::to_string(a.answer);
        break;
    }
    PrintErr("  tried %s (%s), pass %ld (%s): %s\n", *a.component ? a.component : "(no name)",
             *a.moduleFileName ? a.moduleFileName : "?", static_cast<long>(a.pass),
             a.pass == 0 ? "lists the extension" : "others", answer.c_str());
  }
}

}  // namespace host
